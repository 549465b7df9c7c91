#include "dao/reader/mdb_session.h"

#include "base/case_fold.h"
#include "dao/reader/damage.h"
#include "dao/reader/jet_page.h"
#include "dao/reader/row_slots.h"
#include "dao/reader/usage_map.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <vector>

namespace brevan::dao::reader {
namespace {

// Where a definition page names the page it continues on (0: none).
constexpr std::size_t kNextDefinitionPage = 4;
// A definition of the most columns and indexes Access allows fills a few
// pages; a longer chain goes round in a loop, which libmdb's own reading of
// the definition ends by its lengths.
constexpr std::size_t kMaxDefinitionPages = 64;
// A usage map row's type and first page (or first map page).
constexpr std::size_t kMinMapRow = 5;

}  // namespace

MdbSession::~MdbSession() {
    if (table_) mdb_free_tabledef(table_);
    if (fd_ >= 0) ::close(fd_);
    if (mdb_) mdb_close(mdb_);
}

std::optional<protocol::ReaderFailure> MdbSession::Open(const std::string& path, std::string& detail) {
    using protocol::ReaderFailure;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR) return ReaderFailure::Missing;
        detail = std::strerror(e);
        return ReaderFailure::Unreadable;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        detail = std::strerror(errno);
        return ReaderFailure::Unreadable;
    }
    if (S_ISDIR(st.st_mode)) return ReaderFailure::Folder;
    if (!S_ISREG(st.st_mode)) return ReaderFailure::NotRegular;
    fileSize_ = static_cast<std::uint64_t>(st.st_size);
    device_ = static_cast<std::uint64_t>(st.st_dev);
    inode_ = static_cast<std::uint64_t>(st.st_ino);

    // Page 0 of an Access file: 00 01 00 00, the format's name, its version.
    unsigned char head[0x18] = {};
    ssize_t got;
    do {
        got = ::pread(fd_, head, sizeof head, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        detail = std::strerror(errno);
        return ReaderFailure::Unreadable;
    }
    static const char jet[] = "Standard Jet DB";
    static const char ace[] = "Standard ACE DB";
    const bool named = got == static_cast<ssize_t>(sizeof head) && head[0] == 0 &&
                       (std::memcmp(head + 4, jet, sizeof jet) == 0 || std::memcmp(head + 4, ace, sizeof ace) == 0);
    if (!named || head[0x14] > 6) return ReaderFailure::NotAccess;

    // libmdb opens the file by name again: through our own descriptor, the
    // file it opens is the one checked here, whatever stands at the path by now.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    mdb_ = mdb_open(::access(self.c_str(), R_OK) == 0 ? self.c_str() : path.c_str(), MDB_NOFLAGS);
    if (!mdb_) return ReaderFailure::NotAccess;
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

void MdbSession::CheckInFile(std::uint32_t definition, const std::string& owner, PageSource& pages, bool wholeMap) {
    std::vector<unsigned char> page(pages.PageSize());
    std::uint32_t mapRow = 0;
    std::uint32_t next = definition;
    for (std::size_t n = 0; next != 0 && n < kMaxDefinitionPages; ++n) {
        pages.Read(next, page.data(), "the definition of " + owner);
        if (n == 0) mapRow = Get32(page.data() + mdb_->fmt->tab_usage_map_offset);
        next = Get32(page.data() + kNextDefinitionPage);
    }
    const std::uint32_t mapPage = mapRow >> 8;
    if (mapPage >= pages.PageCount())
        throw Damage{"the page map of " + owner + " lies on page " + std::to_string(mapPage) +
                     ", beyond the end of the file (the file is cut short)"};
    if (!wholeMap) return;
    // A map row that cannot be found is left to libmdb's reading, which fails on it.
    pages.Read(mapPage, page.data(), "the page map of " + owner);
    const RowSlots slots(page.data(), page.size(), RowCountOffset());
    if (page[0] != MDB_PAGE_DATA || !slots.Fits() || (mapRow & 0xFF) >= slots.Count()) return;
    const RowSlot slot = slots.At(mapRow & 0xFF);
    if (!slots.Sound(slot) || slot.Size() < kMinMapRow) return;
    UsageMap map(page.data() + slot.start, slot.Size(), pages, owner);
    while (map.Next()) continue;  // Next() throws at a page beyond the end
}

MdbTableDef& MdbSession::OpenTable(MdbCatalogEntry* entry, PageSource& pages) {
    const std::string owner = "table \"" + std::string(entry->object_name) + "\"";
    // The scan walks the map and checks the pages it marks.
    CheckInFile(static_cast<std::uint32_t>(entry->table_pg), owner, pages, false);
    table_ = mdb_read_table(entry);
    if (!table_) throw Damage{"the definition of " + owner + " cannot be read"};
    // libmdb takes the map on trust and crashes on one that is too short.
    if (!table_->usage_map || table_->map_sz < kMinMapRow) throw Damage{"the page map of " + owner + " is broken"};
    if (!mdb_read_columns(table_) || table_->columns->len != table_->num_cols)
        throw Damage{"the columns of " + owner + " cannot be read"};
    if (table_->num_cols == 0 || table_->num_cols > MDB_MAX_COLS)
        throw Damage{owner + " has an impossible number of columns"};
    return *table_;
}

}  // namespace brevan::dao::reader
