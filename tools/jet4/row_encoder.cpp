#include "jet4/row_encoder.h"

#include <algorithm>

namespace jet4::detail {
namespace {

// What of the table a row holding its first `columns` columns covers.
struct RowShape {
    std::size_t columns;
    std::size_t varCount;   // variable columns among them
    std::size_t fixedSize;  // fixed area up to the end of the last of them
};

RowShape ShapeOf(const TableLayout& layout, std::size_t columns) {
    RowShape s{std::min(columns, layout.columns.size()), 0, 0};
    for (std::size_t i = 0; i < s.columns; ++i) {
        const ColumnLayout& c = layout.columns[i];
        if (c.fixed)
            s.fixedSize = std::max<std::size_t>(s.fixedSize, c.fixedOffset + c.size);
        else
            ++s.varCount;
    }
    return s;
}

}  // namespace

std::size_t RowLength(const TableLayout& layout, std::size_t variableBytes, std::size_t columns) {
    const RowShape shape = ShapeOf(layout, columns);
    std::size_t n = 2 + shape.fixedSize + variableBytes + (shape.columns + 7) / 8;
    // Without variable columns there is no end offset, offset table or count.
    if (layout.varCount > 0) n += 2 + 2 * shape.varCount + 2;
    return n;
}

Bytes EncodeRow(const TableLayout& layout, const std::vector<Cell>& cells, std::size_t columns) {
    const RowShape shape = ShapeOf(layout, columns);
    std::size_t variableBytes = 0;
    // Variable indexes follow column numbers, so the row's variable columns
    // are exactly the first shape.varCount of them.
    std::vector<const ColumnLayout*> byVarIndex(shape.varCount, nullptr);
    for (std::size_t i = 0; i < shape.columns; ++i) {
        const ColumnLayout& c = layout.columns[i];
        if (c.fixed) continue;
        byVarIndex[c.varIndex] = &c;
        if (cells[c.number].present) variableBytes += cells[c.number].bytes.size();
    }
    // Sized up front and filled in place.
    Bytes row(RowLength(layout, variableBytes, shape.columns), 0);
    std::uint8_t* const base = row.data();
    Set16(base, static_cast<std::uint32_t>(shape.columns));
    for (std::size_t i = 0; i < shape.columns; ++i) {
        const ColumnLayout& c = layout.columns[i];
        const Cell& cell = cells[c.number];
        if (c.fixed && cell.present) std::copy(cell.bytes.begin(), cell.bytes.end(), base + 2 + c.fixedOffset);
    }
    std::size_t at = 2 + shape.fixedSize;
    if (layout.varCount > 0) {
        std::size_t offsetAt = at + variableBytes + 2 + 2 * shape.varCount;  // past eod and table
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
        at += 2 + 2 * shape.varCount;
        Set16(base + at, static_cast<std::uint32_t>(shape.varCount));
        at += 2;
    }
    for (std::size_t i = 0; i < shape.columns; ++i)
        if (cells[i].present) base[at + i / 8] = static_cast<std::uint8_t>(base[at + i / 8] | (1u << (i % 8)));
    return row;
}

}  // namespace jet4::detail
