#include "dao/snapshot.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace brevan::dao::detail {

protocol::StreamFault Snapshot::SetHeader(const char* payload, std::size_t size) {
    return protocol::ReadHeader(payload, size, header_);
}

void Snapshot::FreeChunk::operator()(char* p) const { std::free(p); }

char* Snapshot::RowStorage(std::size_t size) {
    if (chunks_.empty() || chunks_.back().size - chunks_.back().used < size) {
        // Chunks grow to 64 MiB. Plain pages, not huge ones: a fresh huge
        // page is zeroed whole on first touch, which on a virtual machine
        // cost a fifth of a run; small pages come from memory the system
        // has at hand.
        constexpr std::size_t kFirst = 2u << 20;
        std::size_t next = chunks_.empty() ? kFirst : std::min<std::size_t>(chunks_.back().size * 2, 32 * kFirst);
        next = std::max(next, size);
        char* p = static_cast<char*>(std::malloc(next));
        if (!p) throw std::bad_alloc();
        chunks_.push_back({std::unique_ptr<char, FreeChunk>(p), next, 0});
    }
    return chunks_.back().data.get() + chunks_.back().used;
}

protocol::StreamFault Snapshot::AddRows(const char* payload, std::size_t size) {
    // The message sits at the end of the last chunk, where RowStorage put it.
    chunks_.back().used += size;
    return protocol::ReadRows(payload, size, header_.columns, rows_);
}

void Snapshot::Cells(std::size_t row, const char** cells, std::size_t count) const {
    const char* p = rows_[row];
    for (std::size_t c = 0; c < count; ++c) {
        cells[c] = p;
        p = protocol::NextCell(p);
    }
}

std::string_view Snapshot::Text(const char* cell) { return protocol::CellText(cell); }

double Snapshot::Number(const char* cell) {
    if (protocol::TagOf(cell) == protocol::CellTag::Integer) return static_cast<double>(protocol::CellInteger(cell));
    return protocol::CellDouble(cell);
}

void Snapshot::Read(const char* cell, Variant& value) {
    Variant::Value& v = value.value();
    using protocol::CellTag;
    switch (protocol::TagOf(cell)) {
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
    case CellTag::Integer: v.emplace<std::int64_t>(protocol::CellInteger(cell)); break;
    case CellTag::Floating: v.emplace<double>(Number(cell)); break;
    case CellTag::False: v.emplace<bool>(false); break;
    case CellTag::True: v.emplace<bool>(true); break;
    }
}

}  // namespace brevan::dao::detail
