#pragma once
// Reading the header and the rows of the reader's stream: the columns, and
// the cells of each row in place (stream.h gives their encoding).
#include "dao/protocol/stream.h"
#include "dao/protocol/stream_fault.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brevan::dao::protocol {

struct HeaderColumn {
    std::string name;
    ColumnKind kind;
};

struct Header {
    std::string table;
    std::vector<HeaderColumn> columns;  // at least one
};

// Reads an 'H' payload into `header`; MalformedHeader when it does not read.
StreamFault ReadHeader(const char* payload, std::size_t size, Header& header);

// Checks a 'D' payload against the columns and appends the first cell of
// each of its rows to `rowStarts`. MalformedRows or ValueDoesNotFit when it
// does not read; `rowStarts` may then hold some of its rows.
StreamFault ReadRows(const char* payload, std::size_t size, const std::vector<HeaderColumn>& columns,
                     std::vector<const char*>& rowStarts);

// The cells of a checked row, read in place (inline: they are read many
// times a row).
inline CellTag TagOf(const char* cell) { return static_cast<CellTag>(*cell); }

namespace detail {
// Past a checked text cell's length, which it puts in `length`.
inline const char* SkipLength(const char* p, std::size_t& length) {
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
}  // namespace detail

// The cell after `cell`.
inline const char* NextCell(const char* cell) {
    switch (TagOf(cell)) {
    case CellTag::Text: {
        std::size_t n;
        const char* p = detail::SkipLength(cell + 1, n);
        return p + n;
    }
    case CellTag::Date:
    case CellTag::Integer:
    case CellTag::Floating: return cell + 9;
    default: return cell + 1;
    }
}

// A text cell's bytes.
inline std::string_view CellText(const char* cell) {
    std::size_t n;
    const char* p = detail::SkipLength(cell + 1, n);
    return {p, n};
}
// The value of a Date or Floating cell, and of an Integer cell.
double CellDouble(const char* cell);
std::int64_t CellInteger(const char* cell);

}  // namespace brevan::dao::protocol
