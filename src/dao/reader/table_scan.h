#pragma once
// Walks a table's data pages in the order of its page map and sends every
// row of the table in 'D' messages.
#include "dao/reader/mdb_session.h"
#include "dao/reader/page_source.h"
#include "dao/reader/row_cells.h"
#include "dao/reader/stream_writer.h"

#include <cstdint>
#include <optional>
#include <string>

namespace brevan::dao::reader {

class TableScan {
public:
    TableScan(MdbSession& session, MdbTableDef& table, std::uint32_t tablePage, PageSource& pages, RowCells& cells);
    ~TableScan();
    TableScan(const TableScan&) = delete;
    TableScan& operator=(const TableScan&) = delete;

    // Writes every row to `out`. Returns the number of rows sent, or nothing
    // when the stream could not be written. Throws Damage.
    std::optional<std::uint64_t> Stream(StreamWriter& out);

private:
    std::string RowPlace(std::uint32_t page, unsigned row) const;

    MdbSession& session_;
    MdbTableDef& table_;
    std::uint32_t tablePage_;
    PageSource& pages_;
    RowCells& cells_;
    std::string owner_;
    MdbField* fields_;
};

} // namespace brevan::dao::reader
