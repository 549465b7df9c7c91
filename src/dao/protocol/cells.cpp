#include "dao/protocol/cells.h"

#include <cstring>

namespace brevan::dao::protocol {
namespace {

// The most columns a table has (Access allows 255; a margin for others).
constexpr std::uint32_t kMaxColumns = 4096;

std::uint64_t Load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);  // the stream is little-endian, like the machines this runs on
    return v;
}

bool Fits(CellTag tag, ColumnKind kind) {
    switch (tag) {
    case CellTag::Null: return kind != ColumnKind::YesNo;
    case CellTag::Text: return kind == ColumnKind::Text;
    case CellTag::Date: return kind == ColumnKind::Date;
    case CellTag::Integer: return kind == ColumnKind::Integer;
    case CellTag::Floating: return kind == ColumnKind::Floating;
    case CellTag::False:
    case CellTag::True: return kind == ColumnKind::YesNo;
    }
    return false;
}

}  // namespace

StreamFault ReadHeader(const char* payload, std::size_t size, Header& header) {
    PayloadReader in(payload, size);
    std::string_view table;
    std::uint32_t count;
    if (!in.Text(table) || !in.U32(count) || count == 0 || count > kMaxColumns) return StreamFault::MalformedHeader;
    header.table.assign(table);
    header.columns.clear();
    header.columns.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t kind;
        std::string_view name;
        if (!in.U8(kind) || kind < static_cast<std::uint8_t>(ColumnKind::Text) ||
            kind > static_cast<std::uint8_t>(ColumnKind::Unread) || !in.Text(name))
            return StreamFault::MalformedHeader;
        header.columns.push_back({std::string(name), static_cast<ColumnKind>(kind)});
    }
    return in.AtEnd() ? StreamFault::None : StreamFault::MalformedHeader;
}

StreamFault ReadRows(const char* payload, std::size_t size, const std::vector<HeaderColumn>& columns,
                     std::vector<const char*>& rowStarts) {
    PayloadReader in(payload, size);
    std::uint32_t count;
    if (!in.U32(count)) return StreamFault::MalformedRows;
    for (std::uint32_t r = 0; r < count; ++r) {
        rowStarts.push_back(in.Position());
        for (const HeaderColumn& column : columns) {
            std::uint8_t tag;
            if (!in.U8(tag)) return StreamFault::MalformedRows;
            if (tag > static_cast<std::uint8_t>(CellTag::True) || !Fits(static_cast<CellTag>(tag), column.kind))
                return StreamFault::ValueDoesNotFit;
            bool ok = true;
            switch (static_cast<CellTag>(tag)) {
            case CellTag::Text: {
                std::string_view text;
                ok = in.Text(text);
                break;
            }
            case CellTag::Date:
            case CellTag::Integer:
            case CellTag::Floating: ok = in.Skip(8); break;
            default: break;
            }
            if (!ok) return StreamFault::MalformedRows;
        }
    }
    return in.AtEnd() ? StreamFault::None : StreamFault::MalformedRows;
}

double CellDouble(const char* cell) {
    const std::uint64_t bits = Load64(cell + 1);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

std::int64_t CellInteger(const char* cell) { return static_cast<std::int64_t>(Load64(cell + 1)); }

}  // namespace brevan::dao::protocol
