#pragma once
// One database file opened with libmdb: its format, its catalog, and the
// definition of the table being read.
#include "dao/protocol/stream.h"
#include "dao/reader/mdb.h"
#include "dao/reader/page_source.h"

#include <cstdint>
#include <optional>
#include <string>

namespace brevan::dao::reader {

class MdbSession {
public:
    MdbSession() = default;
    ~MdbSession();
    MdbSession(const MdbSession&) = delete;
    MdbSession& operator=(const MdbSession&) = delete;

    // Opens the file: a regular file that starts as an Access database does,
    // opened without blocking on whatever else stands at the path (a named
    // pipe). Returns the failure to report, or nothing when it is open;
    // `detail` then says what the system said.
    std::optional<protocol::ReaderFailure> Open(const std::string& path, std::string& detail);

    MdbHandle* Handle() { return mdb_; }
    int Descriptor() const { return fd_; }
    std::uint64_t FileSize() const { return fileSize_; }
    std::uint64_t Device() const { return device_; }
    std::uint64_t Inode() const { return inode_; }
    std::size_t PageSize() const { return static_cast<std::size_t>(mdb_->fmt->pg_size); }
    unsigned RowCountOffset() const { return static_cast<unsigned>(mdb_->fmt->row_count_offset); }
    bool Jet3() const { return mdb_->f->jet_version == MDB_VER_JET3; }
    unsigned CodePage() const { return static_cast<unsigned>(mdb_->f->code_page); }
    bool Encrypted() const { return mdb_->f->db_key != 0; }

    // The catalog's table entries (libmdb owns them), or null when the
    // catalog cannot be read.
    GPtrArray* Catalog();
    static bool IsUserTable(const MdbCatalogEntry* e);
    // The user tables' names, joined by ", ".
    static std::string UserTableNames(GPtrArray* catalog);
    // The table of that name: the exact name first, else without regard to case.
    static MdbCatalogEntry* FindTable(GPtrArray* catalog, const std::string& name);

    // The catalog's definition always lies on this page.
    static constexpr std::uint32_t kCatalogDefinition = 2;

    // Throws Damage when a page of the definition on page `definition`, or
    // the page of its usage map, lies beyond the end of the file; with
    // `wholeMap`, also when a page the map marks does. libmdb reads such a
    // page as zeros, which turns a file cut short into an empty table.
    // `owner` names the table in messages; `pages` reads the file.
    void CheckInFile(std::uint32_t definition, const std::string& owner, PageSource& pages, bool wholeMap);

    // Reads the definition and the columns of `entry`, after CheckInFile()
    // without the whole map; throws Damage when they cannot be read or are
    // impossible.
    MdbTableDef& OpenTable(MdbCatalogEntry* entry, PageSource& pages);

private:
    MdbHandle* mdb_ = nullptr;
    MdbTableDef* table_ = nullptr;
    int fd_ = -1;
    std::uint64_t fileSize_ = 0;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
};

}  // namespace brevan::dao::reader
