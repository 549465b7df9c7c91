// Writes small Access 2000 (Jet 4) databases: user tables without indexes,
// readable by libmdb. Test and demo tooling; the converter never links it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jet4 {

// Any refusal: a value that does not fit its column, a bad table or column
// definition, a call out of order, or a failed file operation. The message
// names table, row (1-based) and column where one is involved.
class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ColumnType { Text, Memo, DateTime, Long, Integer, Double, YesNo, Guid };

struct Column {
    std::string name;
    ColumnType type;
    int maxChars = 255;  // Text only: 1..255 UTF-16 code units
    // Dropped from the table after rows were written: the column keeps its
    // number, variable index and fixed-area bytes, so the live columns have
    // gaps there, and the definition's "max" counts include it, but it is not
    // defined. Rows give it Null, or a value for an old row still holding its
    // bytes and null-mask bit. Its name is never stored.
    bool deleted = false;
};

struct Null {};

// Days since 1899-12-30 00:00 plus the elapsed fraction of the day.
struct DateTime {
    double days;
};

// A GUID (Replication ID) value's 16 bytes as stored: the first three groups
// of its text little-endian, the last eight bytes in text order.
struct Guid {
    std::array<std::uint8_t, 16> stored;
};

// Text and Memo take std::u16string (stored as given, lone surrogates too),
// Long and Integer take std::int64_t, Double takes double (or std::int64_t),
// DateTime takes DateTime, Yes/No takes bool, Guid takes Guid. Null is Null; Yes/No columns
// cannot hold Null.
using Value = std::variant<Null, std::u16string, DateTime, std::int64_t, double, bool, Guid>;

// UTF-8 to UTF-16 (throws WriteError on malformed UTF-8).
Value Text(std::string_view utf8);
std::u16string Utf16(std::string_view utf8);

// Calendar date at midnight (proleptic Gregorian calendar).
DateTime Date(int year, int month, int day);
// A time of day alone, on day 0 (1899-12-30), as Access stores it.
DateTime TimeOfDay(int hour, int minute, int second);
DateTime DateAndTime(int year, int month, int day, int hour, int minute, int second);

// How a row sits on its data page: what a database updated in place holds.
enum class RowState {
    Live,       // an ordinary row
    Deleted,    // flagged deleted (0x8000), its bytes kept
    Compacted,  // a deleted slot whose bytes were reclaimed: flags 0xC000, length 0
    // The slot holds an overflow pointer (0x4000): row number (1 byte) and page
    // number (3 bytes) of the row's place on another data page of the table,
    // where it is flagged deleted (0x8000) so that a page scan passes over it.
    Moved,
};

struct RowOptions {
    RowState state = RowState::Live;
    // Moved: pointers on the way to the row, 1 to 100. From the second on, each
    // sits on a fresh overflow page, flagged 0xC000 (deleted, pointer): a page
    // scan passes over it, a reader following the pointer before it follows
    // this one too.
    int hops = 1;
    // The row was written when the table had only its first `columns` columns
    // by number (1 to all of them; 0 means all): its column count and null
    // mask cover only those, the later ones must be Null and read as Null.
    int columns = 0;
};

// Crafted damage for tests: an overflow pointer slot (0x4000) that leads to
// no row of the table.
enum class BrokenPointer {
    BeyondFile,      // to row 0 of the page just past the file's last page
    DefinitionPage,  // to row 0 of the table's definition (TDEF) page
    UsageMapPage,    // to the row holding the table's usage map, on a data page of no table
    OtherTable,      // to row 0 of the first data page of another table (one with rows, before or after)
    MissingRow,      // to its own data page, the row number one past the page's last row
    Loop,            // to its own slot
    Cycle,           // to a second pointer, on an overflow page and flagged 0xC000, that points back
};

// Where the catalog and the maps go. CatalogLast writes the catalog and
// every map after the tables. CatalogFirst, as in a file Access has grown,
// puts the catalog's first page and the page of its maps right after the
// catalog's definition (pages 3 and 4), and each table's maps on the page
// after its definition; only the bitmap pages of large maps come last. A
// file of that layout cut short keeps its catalog and loses table pages.
enum class Layout { CatalogLast, CatalogFirst };

// Streams rows to pages as they come, so memory stays small whatever the
// row count. The file is written under a temporary name beside `path` and
// renamed by Finish(); a Writer destroyed without Finish() leaves nothing.
// The same calls give the same bytes (fixed creation date, no randomness).
// A row refused by AddRow() is not written and the writer stays usable;
// rows are numbered by AddRow() calls, refused ones included. After a failed
// file operation the writer is abandoned and its temporary file removed.
// Every data page of a table is in its usage map, pages holding only
// deleted or moved rows too. The definition's row count counts live and
// moved rows and broken pointers (each stands for a record), not deleted ones.
class Writer {
public:
    explicit Writer(std::string path, Layout layout = Layout::CatalogLast);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void BeginTable(std::string name, std::vector<Column> cols);
    // `row` holds one value per column given to BeginTable, deleted ones too.
    // Moved rows and broken pointers keep their slot's place in a page scan.
    // Refuses bad options (hops, columns, a non-Null value past `columns`)
    // like bad values. A Compacted row's values are checked but not stored.
    void AddRow(const std::vector<Value>& row, const RowOptions& options = {});
    // Adds an overflow pointer slot of the given damage to the open table. Its
    // target is settled by Finish(), which refuses OtherTable when no other
    // table has a data page.
    void AddBrokenPointer(BrokenPointer kind);
    void EndTable();
    // Ends an open table, writes catalog and maps, renames onto `path`.
    void Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace jet4
