// Lays out one row: column count, fixed area, variable data, offsets, null mask.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "jet4/bytes.h"
#include "jet4/table_layout.h"

namespace jet4::detail {

// One column's stored form. A Yes/No column has no bytes: its value is its
// null-mask bit (`present`).
struct Cell {
    bool present = false;
    Bytes bytes;  // fixed columns: exactly their size; variable: any length
};

// A row holding every column of its table, deleted ones included.
constexpr std::size_t kAllColumns = std::numeric_limits<std::size_t>::max();

// Length of the row that EncodeRow would build from cells of these sizes.
std::size_t RowLength(const TableLayout& layout, std::size_t variableBytes, std::size_t columns = kAllColumns);

// A row holding the table's first `columns` columns by number (all of them
// by default), as a row written before the later ones were added: its column
// count, null mask, fixed area and variable-column count cover only those.
// It keeps the variable part (end offset, offsets, count) whenever the table
// has variable columns, since readers decide by the definition. `cells` has
// one entry per layout column; those past `columns` must be absent.
Bytes EncodeRow(const TableLayout& layout, const std::vector<Cell>& cells, std::size_t columns = kAllColumns);

}  // namespace jet4::detail
