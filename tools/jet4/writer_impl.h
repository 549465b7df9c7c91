// The writer's state, shared by the files that implement it: the tables,
// the data and LVAL pages being filled, and broken pointers to aim at the end.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jet4/data_page.h"
#include "jet4/jet4_writer.h"
#include "jet4/page_file.h"
#include "jet4/table_layout.h"
#include "jet4/value_encoding.h"

namespace jet4 {
namespace detail {

constexpr std::size_t kMemoSingleRowMax = 4076;  // one LVAL row
constexpr std::size_t kMemoPiece = 4072;         // per page of an LVAL chain
constexpr std::size_t kMaxNameChars = 64;
constexpr std::uint8_t kMemoInline = 0x80;
constexpr std::uint8_t kMemoSingle = 0x40;
constexpr std::uint8_t kMemoChain = 0x00;
constexpr int kMaxHops = 100;  // past the reader's bound on chains

TypeCode CodeOf(ColumnType t);
std::string Quoted(const std::string& s);
std::u16string FoldCase(std::u16string s);
// A name for a table or column: checked, as UTF-16.
std::u16string CheckName(const std::string& name, const std::string& what);

struct Table {
    std::string name;
    std::u16string wideName;
    std::vector<Column> columns;
    TableLayout layout;
    std::uint32_t tdefPage = 0;
    std::uint32_t mapPage = 0;  // Layout::CatalogFirst: the page of its maps, after the definition
    std::uint32_t rowCount = 0;
    std::uint64_t rowsOffered = 0;
    std::vector<std::uint32_t> dataPages;  // ascending: numbered as they open
};

// A data page being filled, and its number.
struct OpenPage {
    DataPage page;
    std::uint32_t number = 0;
    bool open = false;
};

struct Slot {
    std::uint32_t page;
    int row;
};

// An overflow pointer's bytes.
Bytes PointerTo(Slot s);

// A broken pointer whose target is known only when the file is complete.
struct PendingPointer {
    std::size_t table;  // index in the finished tables
    BrokenPointer kind;
    Slot at;
    std::size_t offset;  // of the pointer's bytes in its page
    int pageRows = -1;   // rows on its page, once the page is written
};

}  // namespace detail

using namespace detail;

struct Writer::Impl {
    Impl(std::string path, Layout layout) : file(std::move(path)), catalogFirst(layout == Layout::CatalogFirst) {
        // Pages 0 (header), 1 (global map) and 2 (catalog definition) come
        // first; then, when asked, the catalog's first page and its maps.
        file.Allocate(catalogFirst ? 5 : 3);
    }

    void BeginTable(std::string name, std::vector<Column> cols);
    void AddRow(const std::vector<Value>& row, const RowOptions& options);
    void AddBrokenPointer(BrokenPointer kind);
    void EndTable();
    void Finish();

    // Refuses bad row options; returns how many columns the row holds.
    std::size_t CheckOptions(const RowOptions& options, const std::string& where) const;
    Bytes BuildRow(std::vector<EncodedValue>& cells, std::size_t held);
    std::uint32_t StoreLongValue(const Bytes& data, std::uint8_t& flag);
    // Adds a slot to a data page of the open table: to `p`, or to a new page
    // when `p` is full or `freshPage` asks for one.
    Slot Place(OpenPage& p, const Bytes& bytes, std::uint16_t flags, bool freshPage = false);
    void Flush(OpenPage& p);
    void FlushLval();
    void SettlePointers(const std::vector<TdefFacts>& facts);
    void CheckUsable() const;

    PageFile file;
    std::optional<Table> open;
    std::vector<Table> done;
    OpenPage rows;   // the open table's rows in scan order
    OpenPage moved;  // rows moved behind overflow pointers, and chain links
    std::vector<PendingPointer> pending;
    DataPage lvalPage{kLvalOwner};
    std::uint32_t lvalPageNo = 0;
    bool lvalPageOpen = false;
    bool catalogFirst;
    bool finished = false;
    bool broken = false;
};

}  // namespace jet4
