#pragma once
// Walks a table's data pages in the order of its page map and sends every
// row of the table in 'D' messages.
//
// Rows are read as Jet flags their slots: a deleted slot (0x8000, which a
// row moved behind an overflow pointer carries at its new place) is passed
// over; an overflow pointer (0x4000) is followed, through further pointers,
// to the row it stands for, which is sent in the pointer's place whatever
// its own flags; empty slots are passed over. A pointer that leads out of
// the table's data pages, to a missing or emptied row, or round in a loop is
// damage.
#include "dao/reader/mdb_session.h"
#include "dao/reader/page_source.h"
#include "dao/reader/row_cells.h"
#include "dao/reader/row_cracker.h"
#include "dao/reader/row_place.h"
#include "dao/reader/row_slots.h"
#include "dao/reader/stream_writer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brevan::dao::reader {

class TableScan {
public:
    // `pages` serves the scan in file order; `targets` serves the pages that
    // overflow pointers lead to, so that following one does not move the
    // scan's window. Both read the same file.
    TableScan(MdbSession& session, MdbTableDef& table, std::uint32_t tablePage, PageSource& pages, PageSource& targets,
              RowCells& cells);
    TableScan(const TableScan&) = delete;
    TableScan& operator=(const TableScan&) = delete;

    // Writes every row to `out`. Returns the number of rows sent, or nothing
    // when the stream could not be written. Throws Damage.
    std::optional<std::uint64_t> Stream(StreamWriter& out);

private:
    // The row that the overflow pointer in `slot` of the scan page stands
    // for: sets `slot` to its slot, `place` to where it lies, and returns
    // the page holding it (valid until the next call). Throws Damage.
    const unsigned char* Follow(RowSlot& slot, RowPlace& place);
    // A page an overflow pointer leads to, read once for consecutive pointers.
    const unsigned char* TargetPage(std::uint32_t page);

    MdbSession& session_;
    MdbTableDef& table_;
    std::uint32_t tablePage_;
    PageSource& pages_;
    PageSource& targets_;
    RowCells& cells_;
    std::string owner_;
    RowShape shape_;
    std::vector<RowField> fields_;
    std::vector<unsigned char> scanPage_;
    std::vector<unsigned char> targetPage_;
    std::uint32_t targetNumber_ = 0;                         // 0: none (page 0 is never a data page)
    std::vector<std::pair<std::uint32_t, unsigned>> chain_;  // places a pointer chain passed
};

}  // namespace brevan::dao::reader
