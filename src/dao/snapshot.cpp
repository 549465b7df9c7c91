#include "dao/snapshot.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
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
    if (!in.Text(table) || !in.U32(count) || count == 0 || count > 4096) Malformed("the database reader sent a malformed header");
    table_.assign(table);
    columns_.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t kind;
        std::string_view name;
        if (!in.U8(kind) || kind < 1 || kind > 6 || !in.Text(name)) Malformed("the database reader sent a malformed header");
        columns_.push_back({std::string(name), static_cast<ColumnKind>(kind)});
    }
    if (!in.AtEnd()) Malformed("the database reader sent a malformed header");
}

void Snapshot::FreeChunk::operator()(char* p) const { std::free(p); }

char* Snapshot::RowStorage(std::size_t size) {
    if (chunks_.empty() || chunks_.back().size - chunks_.back().used < size) {
        // Chunks grow to 64 MiB and are aligned to 2 MiB, so that the kernel
        // can back them with huge pages: far fewer page faults.
        constexpr std::size_t kHuge = 2u << 20;
        std::size_t next = chunks_.empty() ? kHuge : std::min<std::size_t>(chunks_.back().size * 2, 32 * kHuge);
        next = std::max(next, (size + kHuge - 1) / kHuge * kHuge);
        char* p = static_cast<char*>(std::aligned_alloc(kHuge, next));
        if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        ::madvise(p, next, MADV_HUGEPAGE);
#endif
        chunks_.push_back({std::unique_ptr<char, FreeChunk>(p), next, 0});
    }
    return chunks_.back().data.get() + chunks_.back().used;
}

void Snapshot::AddRows(const char* payload, std::size_t size) {
    // The message sits at the end of the last chunk, where RowStorage put it.
    chunks_.back().used += size;
    PayloadReader in(payload, size);
    std::uint32_t count;
    if (!in.U32(count)) Malformed("the database reader sent malformed rows");
    for (std::uint32_t r = 0; r < count; ++r) {
        rows_.push_back(in.Position());
        for (const SnapshotColumn& column : columns_) {
            std::uint8_t tag;
            if (!in.U8(tag) || tag > static_cast<std::uint8_t>(CellTag::True) ||
                !Fits(static_cast<CellTag>(tag), column.kind))
                Malformed("the database reader sent a value that does not fit its column");
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
            if (!ok) Malformed("the database reader sent malformed rows");
        }
    }
    if (!in.AtEnd()) Malformed("the database reader sent malformed rows");
}

void Snapshot::Cells(std::size_t row, const char** cells) const {
    const char* p = rows_[row];
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        cells[c] = p;
        p = NextCell(p);
    }
}

const char* Snapshot::Next(const char* cell) { return NextCell(cell); }

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
