// Lays out one row: column count, fixed area, variable data, offsets, null mask.
#pragma once

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

// Length of the row that EncodeRow would build from cells of these sizes.
std::size_t RowLength(const TableLayout& layout, std::size_t variableBytes);

Bytes EncodeRow(const TableLayout& layout, const std::vector<Cell>& cells);

}  // namespace jet4::detail
