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

// The cells of a checked row, read in place.
CellTag TagOf(const char* cell);
// The cell after `cell`.
const char* NextCell(const char* cell);
// A text cell's bytes.
std::string_view CellText(const char* cell);
// The value of a Date or Floating cell, and of an Integer cell.
double CellDouble(const char* cell);
std::int64_t CellInteger(const char* cell);

}  // namespace brevan::dao::protocol
