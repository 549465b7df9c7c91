#include "jet4/row_encoder.h"

#include <algorithm>

namespace jet4::detail {

std::size_t RowLength(const TableLayout& layout, std::size_t variableBytes) {
  const std::size_t cols = layout.columns.size();
  std::size_t n = 2 + layout.fixedSize + variableBytes + (cols + 7) / 8;
  // Without variable columns there is no end offset, offset table or count.
  if (layout.varCount > 0) n += 2 + 2 * std::size_t{layout.varCount} + 2;
  return n;
}

Bytes EncodeRow(const TableLayout& layout, const std::vector<Cell>& cells) {
  const std::size_t cols = layout.columns.size();
  Bytes row;
  Put16(row, static_cast<std::uint32_t>(cols));
  PutZeros(row, layout.fixedSize);
  std::vector<std::uint16_t> starts(layout.varCount, 0);
  // Fixed columns by their offsets; variable ones in variable-index order.
  std::vector<const ColumnLayout*> byVarIndex(layout.varCount, nullptr);
  for (std::size_t i = 0; i < cols; ++i) {
    const ColumnLayout& c = layout.columns[i];
    if (c.fixed) {
      if (cells[i].present) std::copy(cells[i].bytes.begin(), cells[i].bytes.end(), row.begin() + 2 + c.fixedOffset);
    } else {
      byVarIndex[c.varIndex] = &c;
    }
  }
  for (const ColumnLayout* c : byVarIndex) {
    starts[c->varIndex] = static_cast<std::uint16_t>(row.size());
    const Cell& cell = cells[c->number];
    if (cell.present) row.insert(row.end(), cell.bytes.begin(), cell.bytes.end());
  }
  if (layout.varCount > 0) {
    Put16(row, static_cast<std::uint32_t>(row.size()));  // end of variable data
    for (std::size_t v = layout.varCount; v-- > 0;) Put16(row, starts[v]);
    Put16(row, layout.varCount);
  }
  Bytes mask((cols + 7) / 8, 0);
  for (std::size_t i = 0; i < cols; ++i)
    if (cells[i].present) mask[i / 8] = static_cast<std::uint8_t>(mask[i / 8] | (1u << (i % 8)));
  row.insert(row.end(), mask.begin(), mask.end());
  return row;
}

}  // namespace jet4::detail
