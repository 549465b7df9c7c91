#include "platform/dao_snapshot.h"

#include <cstring>
#include <stdexcept>

namespace brevan::dao::detail {
namespace {

[[noreturn]] void Malformed(const char* what) { throw std::runtime_error(what); }

std::uint64_t Load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);  // the stream is little-endian, like the machines this runs on
    return v;
}

// Past one text cell's varint and bytes; the cell has been checked.
const char* SkipText(const char* p, std::size_t& length) {
    std::uint64_t n = 0;
    int shift = 0;
    unsigned char b;
    do {
        b = static_cast<unsigned char>(*p++);
        n |= std::uint64_t(b & 0x7F) << shift;
        shift += 7;
    } while (b & 0x80);
    length = static_cast<std::size_t>(n);
    return p;
}

const char* NextCell(const char* cell) {
    switch (static_cast<CellTag>(*cell)) {
    case CellTag::Text: {
        std::size_t n;
        const char* p = SkipText(cell + 1, n);
        return p + n;
    }
    case CellTag::Date:
    case CellTag::Integer:
    case CellTag::Floating: return cell + 9;
    default: return cell + 1;
    }
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

} // namespace

void Snapshot::SetHeader(const char* payload, std::size_t size) {
    PayloadReader in(payload, size);
    std::string_view table;
    std::uint32_t count;
    if (!in.Text(table) || !in.U32(count) || count == 0 || count > 4096) Malformed("the reader sent a malformed header");
    table_.assign(table);
    columns_.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t kind;
        std::string_view name;
        if (!in.U8(kind) || kind < 1 || kind > 6 || !in.Text(name)) Malformed("the reader sent a malformed header");
        columns_.push_back({std::string(name), static_cast<ColumnKind>(kind)});
    }
    if (!in.AtEnd()) Malformed("the reader sent a malformed header");
}

void Snapshot::AddRows(std::unique_ptr<char[]> payload, std::size_t size) {
    PayloadReader in(payload.get(), size);
    std::uint32_t count;
    if (!in.U32(count)) Malformed("the reader sent malformed rows");
    rows_.reserve(rows_.size() + count);
    for (std::uint32_t r = 0; r < count; ++r) {
        rows_.push_back(in.Position());
        for (const SnapshotColumn& column : columns_) {
            std::uint8_t tag;
            if (!in.U8(tag) || tag > static_cast<std::uint8_t>(CellTag::True) ||
                !Fits(static_cast<CellTag>(tag), column.kind))
                Malformed("the reader sent a value that does not fit its column");
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
            if (!ok) Malformed("the reader sent malformed rows");
        }
    }
    if (!in.AtEnd()) Malformed("the reader sent malformed rows");
    if (count > 0) blocks_.push_back(std::move(payload));
}

void Snapshot::Cells(std::size_t row, const char** cells) const {
    const char* p = rows_[row];
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        cells[c] = p;
        p = NextCell(p);
    }
}

const char* Snapshot::Cell(std::size_t row, std::size_t column) const {
    const char* p = rows_[row];
    for (std::size_t c = 0; c < column; ++c) p = NextCell(p);
    return p;
}

std::string_view Snapshot::Text(const char* cell) {
    std::size_t n;
    const char* p = SkipText(cell + 1, n);
    return {p, n};
}

double Snapshot::Number(const char* cell) {
    const std::uint64_t bits = Load64(cell + 1);
    if (static_cast<CellTag>(*cell) == CellTag::Integer) return static_cast<double>(static_cast<std::int64_t>(bits));
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

void Snapshot::Read(const char* cell, Variant& value) {
    Variant::Value& v = value.value();
    switch (static_cast<CellTag>(*cell)) {
    case CellTag::Null: v.emplace<std::monostate>(); break;
    case CellTag::Text: {
        const std::string_view text = Text(cell);
        if (auto* s = std::get_if<std::string>(&v))
            s->assign(text);
        else
            v.emplace<std::string>(text);
        break;
    }
    case CellTag::Date: v.emplace<Date>(Date{Number(cell)}); break;
    case CellTag::Integer: v.emplace<std::int64_t>(static_cast<std::int64_t>(Load64(cell + 1))); break;
    case CellTag::Floating: v.emplace<double>(Number(cell)); break;
    case CellTag::False: v.emplace<bool>(false); break;
    case CellTag::True: v.emplace<bool>(true); break;
    }
}

} // namespace brevan::dao::detail
