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
  std::size_t variableBytes = 0;
  std::vector<const ColumnLayout*> byVarIndex(layout.varCount, nullptr);
  for (const ColumnLayout& c : layout.columns) {
    if (c.fixed) continue;
    byVarIndex[c.varIndex] = &c;
    if (cells[c.number].present) variableBytes += cells[c.number].bytes.size();
  }
  // Sized up front and filled in place.
  Bytes row(RowLength(layout, variableBytes), 0);
  std::uint8_t* const base = row.data();
  Set16(base, static_cast<std::uint32_t>(cols));
  for (const ColumnLayout& c : layout.columns) {
    const Cell& cell = cells[c.number];
    if (c.fixed && cell.present) std::copy(cell.bytes.begin(), cell.bytes.end(), base + 2 + c.fixedOffset);
  }
  std::size_t at = 2 + std::size_t{layout.fixedSize};
  if (layout.varCount > 0) {
    std::size_t offsetAt = at + variableBytes + 2 + 2 * std::size_t{layout.varCount};  // past eod and table
    for (const ColumnLayout* c : byVarIndex) {
      offsetAt -= 2;  // variable index 0 sits just before the count
      Set16(base + offsetAt, static_cast<std::uint32_t>(at));
      const Cell& cell = cells[c->number];
      if (cell.present) {
        std::copy(cell.bytes.begin(), cell.bytes.end(), base + at);
        at += cell.bytes.size();
      }
    }
    Set16(base + at, static_cast<std::uint32_t>(at));  // end of variable data
    at += 2 + 2 * std::size_t{layout.varCount};
    Set16(base + at, layout.varCount);
    at += 2;
  }
  for (std::size_t i = 0; i < cols; ++i)
    if (cells[i].present) base[at + i / 8] = static_cast<std::uint8_t>(base[at + i / 8] | (1u << (i % 8)));
  return row;
}

}  // namespace jet4::detail
