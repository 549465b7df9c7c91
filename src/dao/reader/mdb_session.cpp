#include "dao/reader/mdb_session.h"

#include "base/case_fold.h"
#include "dao/reader/damage.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brevan::dao::reader {

MdbSession::~MdbSession() {
    if (table_) mdb_free_tabledef(table_);
    if (fd_ >= 0) ::close(fd_);
    if (mdb_) mdb_close(mdb_);
}

std::optional<protocol::ReaderFailure> MdbSession::Open(const std::string& path, std::string& detail) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        detail = std::strerror(errno);
        return protocol::ReaderFailure::Unreadable;
    }
    fileSize_ = static_cast<std::uint64_t>(st.st_size);
    mdb_ = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!mdb_) return protocol::ReaderFailure::NotAccess;
    return std::nullopt;
}

GPtrArray* MdbSession::Catalog() { return mdb_read_catalog(mdb_, MDB_TABLE); }

bool MdbSession::IsUserTable(const MdbCatalogEntry* e) {
    return e->object_type == MDB_TABLE && !(static_cast<unsigned>(e->flags) & 0x80000002u);
}

std::string MdbSession::UserTableNames(GPtrArray* catalog) {
    std::string names;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (!IsUserTable(e)) continue;
        if (!names.empty()) names += ", ";
        names += e->object_name;
    }
    return names;
}

MdbCatalogEntry* MdbSession::FindTable(GPtrArray* catalog, const std::string& name) {
    for (guint i = 0; i < catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (e->object_type == MDB_TABLE && name == e->object_name) return e;
    }
    for (guint i = 0; i < catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (e->object_type == MDB_TABLE && SameNameFolded(name, e->object_name)) return e;
    }
    return nullptr;
}

MdbTableDef& MdbSession::OpenTable(MdbCatalogEntry* entry) {
    table_ = mdb_read_table(entry);
    const std::string owner = "table \"" + std::string(entry->object_name) + "\"";
    if (!table_) throw Damage{"the definition of " + owner + " cannot be read"};
    // libmdb takes the map on trust and crashes on one that is too short.
    if (!table_->usage_map || table_->map_sz < 5) throw Damage{"the page map of " + owner + " is broken"};
    if (!mdb_read_columns(table_) || table_->columns->len != table_->num_cols)
        throw Damage{"the columns of " + owner + " cannot be read"};
    if (table_->num_cols == 0 || table_->num_cols > MDB_MAX_COLS)
        throw Damage{owner + " has an impossible number of columns"};
    return *table_;
}

} // namespace brevan::dao::reader
