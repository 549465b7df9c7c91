#include "jet4/table_layout.h"

#include <algorithm>

namespace jet4::detail {
namespace {

constexpr std::size_t kTdefHeader = 8;  // type, 01, free space, next page
constexpr std::size_t kContentPerPage = kPageSize - kTdefHeader;
constexpr std::uint32_t kSortGeneral = 0x0409;

bool HasLongValue(TypeCode t) { return t == kMemo || t == kOle; }

// The definition as one stream, from offset 8 of the first page on.
Bytes Content(const TableLayout& layout, const TdefFacts& facts) {
    std::vector<const ColumnLayout*> live;
    for (const ColumnLayout& c : layout.columns)
        if (!c.deleted) live.push_back(&c);
    Bytes b;
    Put32(b, 0);  // definition length, patched below
    Put32(b, 0x0659);
    Put32(b, facts.rowCount);
    Put32(b, 0);  // next autonumber
    Put8(b, 0x01);
    PutZeros(b, 15);
    Put8(b, facts.tableType);
    // "Max" counts include deleted columns: rows are laid out by them.
    Put16(b, static_cast<std::uint32_t>(layout.columns.size()));
    Put16(b, layout.varCount);
    Put16(b, static_cast<std::uint32_t>(live.size()));
    Put32(b, 0);  // logical indexes
    Put32(b, 0);  // real indexes
    Put32(b, facts.usageMap);
    Put32(b, facts.freeMap);
    for (const ColumnLayout* cp : live) {
        const ColumnLayout& c = *cp;
        Put8(b, c.type);
        Put32(b, 0x0659);
        Put16(b, c.number);
        Put16(b, c.varIndex);
        Put16(b, c.number);
        Put16(b, kSortGeneral);
        Put16(b, 0);
        Put8(b, c.fixed ? 0x03 : 0x02);
        Put8(b, (c.type == kText || c.type == kMemo) ? 0x01 : 0x00);  // unicode compression
        Put32(b, 0);
        Put16(b, c.fixed ? c.fixedOffset : 0);
        Put16(b, c.size);
    }
    for (const ColumnLayout* c : live) {
        Put16(b, static_cast<std::uint32_t>(2 * c->name.size()));
        PutUtf16(b, c->name);
    }
    // Long-value maps per memo/OLE column; readers ignore them, so they share
    // the table's (empty) free-space map.
    for (const ColumnLayout* c : live) {
        if (!HasLongValue(c->type)) continue;
        Put16(b, c->number);
        Put32(b, facts.freeMap);
        Put32(b, facts.freeMap);
    }
    Put16(b, 0xFFFF);
    Set32(b.data(), static_cast<std::uint32_t>(b.size() + kTdefHeader));
    return b;
}

}  // namespace

std::uint16_t FixedSize(TypeCode type) {
    switch (type) {
    case kBool: return 0;
    case kInt16: return 2;
    case kInt32: return 4;
    case kDouble: return 8;
    case kDate: return 8;
    case kGuid: return 16;
    default: return 0;
    }
}

TableLayout MakeLayout(const std::vector<ColumnSpec>& specs) {
    TableLayout layout;
    std::uint16_t number = 0;
    for (const ColumnSpec& s : specs) {
        ColumnLayout c{};
        c.name = s.name;
        c.type = s.type;
        c.deleted = s.deleted;
        c.number = number++;
        c.fixed = !(s.type == kText || s.type == kMemo || s.type == kBinary || s.type == kOle);
        if (c.fixed) {
            c.varIndex = layout.varCount;
            c.fixedOffset = layout.fixedSize;
            c.size = FixedSize(s.type);
            layout.fixedSize = static_cast<std::uint16_t>(layout.fixedSize + c.size);
        } else {
            c.varIndex = layout.varCount++;
            c.fixedOffset = 0;
            c.size = (s.type == kText || s.type == kBinary) ? s.textBytes : 0;
        }
        layout.columns.push_back(c);
    }
    return layout;
}

std::uint32_t TdefPageCount(const TableLayout& layout) {
    const std::size_t n = Content(layout, TdefFacts{}).size();
    return static_cast<std::uint32_t>((n + kContentPerPage - 1) / kContentPerPage);
}

Bytes BuildTdef(const TableLayout& layout, const TdefFacts& facts, std::uint32_t firstPage) {
    const Bytes content = Content(layout, facts);
    const std::size_t pages = (content.size() + kContentPerPage - 1) / kContentPerPage;
    Bytes out(pages * kPageSize, 0);
    for (std::size_t p = 0; p < pages; ++p) {
        std::uint8_t* page = out.data() + p * kPageSize;
        const std::size_t from = p * kContentPerPage;
        const std::size_t used = std::min(kContentPerPage, content.size() - from);
        page[0] = 0x02;
        page[1] = 0x01;
        Set16(page + 2, static_cast<std::uint32_t>(kContentPerPage - used));
        Set32(page + 4, p + 1 < pages ? firstPage + static_cast<std::uint32_t>(p) + 1 : 0);
        std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(from), used, page + kTdefHeader);
    }
    return out;
}

}  // namespace jet4::detail
