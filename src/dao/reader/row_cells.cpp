#include "dao/reader/row_cells.h"

#include "dao/reader/damage.h"
#include "dao/reader/guid_text.h"
#include "dao/reader/jet_page.h"

#include <charconv>
#include <cstring>

namespace brevan::dao::reader {
namespace {

using protocol::CellTag;

void PutInteger(std::string& out, std::int64_t v) {
    out.push_back(static_cast<char>(CellTag::Integer));
    protocol::PutU64(out, static_cast<std::uint64_t>(v));
}

void PutFloating(std::string& out, double d) {
    out.push_back(static_cast<char>(CellTag::Floating));
    protocol::PutDouble(out, d);
}

void PutText(std::string& out, const std::string& text) {
    out.push_back(static_cast<char>(CellTag::Text));
    protocol::PutText(out, text);
}

// A text cell whose text `decode` appends to `out` in place, after room for
// its length: no copy through a scratch string. `stored` bytes decode to at
// most four bytes each (the code pages' three, plus room); should a damaged
// length claim fewer, the room is widened.
template <typename Decode>
void PutDecodedText(std::string& out, std::size_t stored, Decode decode) {
    out.push_back(static_cast<char>(CellTag::Text));
    std::size_t width = protocol::VarintWidth(4 * std::uint64_t(stored) + 4);
    const std::size_t at = out.size();
    out.append(width, '\0');
    decode(out);
    const std::uint64_t size = out.size() - at - width;
    if (protocol::VarintWidth(size) > width) {
        out.insert(at, protocol::VarintWidth(size) - width, '\0');
        width = protocol::VarintWidth(size);
    }
    protocol::PatchVarint(out.data() + at, size, width);
}

double NumericValue(const unsigned char* p, int scale) {
    // Sign byte, then four 32-bit little-endian words, most significant first.
    unsigned __int128 v = 0;
    for (int word = 0; word < 4; ++word) v = (v << 32) | Get32(p + 1 + 4 * word);
    long double d = static_cast<long double>(v);
    for (int i = 0; i < scale && i < 38; ++i) d /= 10;
    return static_cast<double>((p[0] & 0x80) ? -d : d);
}

}  // namespace

protocol::ColumnKind KindOf(int type) {
    using protocol::ColumnKind;
    switch (type) {
    case MDB_BOOL: return ColumnKind::YesNo;
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX: return ColumnKind::Integer;
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC: return ColumnKind::Floating;
    case MDB_DATETIME: return ColumnKind::Date;
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_REPID: return ColumnKind::Text;
    default: return ColumnKind::Unread;
    }
}

RowCells::RowCells(const MdbTableDef& table, std::vector<bool> sent, TextDecoder& text, MemoReader& memos)
    : table_(table), sent_(std::move(sent)), text_(text), memos_(memos) {}

void RowCells::Append(std::string& out, const std::vector<RowField>& fields, const unsigned char* row,
                      std::size_t rowSize, const RowPlace& place) {
    if (fields.size() != table_.num_cols) throw Damage{place.Text() + " cannot be read"};
    for (unsigned i = 0; i < table_.num_cols; ++i) {
        if (!sent_[i]) {
            out.push_back(static_cast<char>(CellTag::Null));
            continue;
        }
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table_.columns, i));
        const RowField& f = fields[i];
        if (col->col_type == MDB_BOOL) {
            // A Yes/No value is its null-mask bit.
            out.push_back(static_cast<char>(f.present ? CellTag::True : CellTag::False));
            continue;
        }
        if (!f.present || KindOf(col->col_type) == protocol::ColumnKind::Unread) {
            out.push_back(static_cast<char>(CellTag::Null));
            continue;
        }
        if (std::size_t(f.start) + f.size > rowSize) throw Damage{place.Text() + " has a field outside the row"};
        const unsigned char* v = row + f.start;
        const std::size_t size = f.size;
        auto need = [&](std::size_t n) {
            if (size < n) throw Damage{place.Text() + " has a field that is too short"};
        };
        switch (col->col_type) {
        case MDB_BYTE:
            need(1);
            PutInteger(out, v[0]);
            break;
        case MDB_INT:
            need(2);
            PutInteger(out, static_cast<std::int16_t>(Get16(v)));
            break;
        case MDB_LONGINT:
        case MDB_COMPLEX:
            need(4);
            PutInteger(out, static_cast<std::int32_t>(Get32(v)));
            break;
        case MDB_MONEY: {
            need(8);
            const std::int64_t units = static_cast<std::int64_t>(Get32(v) | (std::uint64_t(Get32(v + 4)) << 32));
            PutFloating(out, static_cast<double>(units) / 10000.0);
            break;
        }
        case MDB_FLOAT: {
            need(4);
            float fl;
            std::memcpy(&fl, v, 4);
            // The double that prints like the Single: 0.1f reads as 0.1.
            char text[32];
            const auto res = std::to_chars(text, text + sizeof text, fl);
            double d = fl;
            std::from_chars(text, res.ptr, d);
            PutFloating(out, d);
            break;
        }
        case MDB_DOUBLE: {
            need(8);
            double d;
            std::memcpy(&d, v, 8);
            PutFloating(out, d);
            break;
        }
        case MDB_NUMERIC:
            need(17);
            PutFloating(out, NumericValue(v, col->col_prec));
            break;
        case MDB_DATETIME: {
            need(8);
            double d;
            std::memcpy(&d, v, 8);
            out.push_back(static_cast<char>(CellTag::Date));
            protocol::PutDouble(out, d);
            break;
        }
        case MDB_TEXT: PutDecodedText(out, size, [&](std::string& o) { text_.Append(v, size, o); }); break;
        case MDB_MEMO:
            // The memo's own length, in its first three bytes, bounds its text.
            PutDecodedText(out, size >= 4 ? Get32(v) & 0x00FFFFFF : 0,
                           [&](std::string& o) { memos_.Append(v, size, o); });
            break;
        case MDB_REPID: {
            need(16);
            PutText(out, GuidText(v));
            break;
        }
        default: out.push_back(static_cast<char>(CellTag::Null)); break;
        }
    }
}

}  // namespace brevan::dao::reader
