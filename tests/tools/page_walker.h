// A reference reading of one Jet 4 table straight from its pages, kept apart
// from libmdb (whose 1.0 release reads the row-offset flags the wrong way
// round): the usage map gives the pages, each page's slots are scanned in
// order, 0x8000 (deleted) slots are passed over, 0x4000 slots are overflow
// pointers followed (again and again) to a row read whatever its flags.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pagewalk {

constexpr std::uint16_t kDeleted = 0x8000;
constexpr std::uint16_t kOverflow = 0x4000;

struct Slot {
    std::uint16_t flags;  // the offset's high bits
    std::size_t length;   // implied by the neighbour
};

using Place = std::pair<std::uint32_t, int>;  // page, row

// Where following a pointer ended.
enum class Outcome { Row, BeyondFile, ForeignPage, MissingRow, EmptyRow, Loop };

struct Entry {
    Outcome outcome = Outcome::Row;
    Place at;                 // the slot the scan met
    std::vector<Place> hops;  // the places pointers led to, in order
    std::string row;          // Row: the row's bytes
};

struct ColumnDef {
    std::string name;  // ASCII names only
    int type, number, varIndex;
    bool fixed;
    int fixedOffset, size;
};

struct Definition {
    std::uint32_t rows;
    int maxColumns, maxVarColumns;
    std::vector<ColumnDef> columns;  // in definition order
    std::uint32_t usageMap;          // page/row pointer
};

struct TableScan {
    Definition definition;
    std::vector<std::uint32_t> mapPages;               // pages the usage map marks, ascending
    std::vector<std::uint32_t> ownedPages;             // data pages owned by the table, ascending
    std::map<std::uint32_t, std::vector<Slot>> slots;  // of each owned page
    std::vector<Entry> entries;                        // one per slot not flagged deleted, in scan order
};

class File {
public:
    explicit File(const std::string& path);
    std::uint32_t PageCount() const { return static_cast<std::uint32_t>(bytes_.size() / 4096); }
    const unsigned char* Page(std::uint32_t page) const;
    // The bytes of row `row` of `page` (no checks: for places known good).
    std::string Row(std::uint32_t page, int row) const;

    Definition ReadDefinition(std::uint32_t tdefPage) const;
    TableScan Scan(std::uint32_t tdefPage) const;
    // The stored bytes of each column (memos: their whole text), in definition
    // order; nullopt for Null. Yes/No columns give "1" or "0".
    std::vector<std::optional<std::string>> Decode(const Definition& def, const std::string& row) const;

private:
    Entry Follow(std::uint32_t owner, Place at) const;
    std::string Memo(const std::string& field) const;

    std::string bytes_;
};

}  // namespace pagewalk
