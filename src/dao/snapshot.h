#pragma once
// A snapshot: the rows of one table as the reader process sent them, kept
// compactly. The 'D' messages are read straight into large chunks of memory
// and kept as they are; a row is a pointer to its first cell, and cells are
// read in place (dao/protocol/cells.h). No value is copied until asked for,
// so the snapshot takes little more than the stream.
#include "dao/dao.h"
#include "dao/protocol/cells.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brevan::dao::detail {

using SnapshotColumn = protocol::HeaderColumn;

class Snapshot {
public:
    // Take a message's payload; both return what is wrong with a malformed
    // one (a cell that does not fit its column, a short message...).
    protocol::StreamFault SetHeader(const char* payload, std::size_t size);
    // Room for the next 'D' message; AddRows then takes what was read there.
    char* RowStorage(std::size_t size);
    protocol::StreamFault AddRows(const char* payload, std::size_t size);

    const std::string& TableName() const { return header_.table; }
    const std::vector<SnapshotColumn>& Columns() const { return header_.columns; }
    std::size_t RowCount() const { return rows_.size(); }

    // Pointers to the first `count` cells of row `row` (at most
    // Columns().size()), in column order, into `cells`.
    void Cells(std::size_t row, const char** cells, std::size_t count) const;
    // The first cell of a row, and the cell after a cell.
    const char* Row(std::size_t row) const { return rows_[row]; }
    static const char* Next(const char* cell) { return protocol::NextCell(cell); }

    // Reads a cell into `value`, reusing its string's buffer for text.
    static void Read(const char* cell, Variant& value);
    // A text cell's bytes (the cell must be text).
    static std::string_view Text(const char* cell);
    // A number of a date, integer or floating cell.
    static double Number(const char* cell);

private:
    protocol::Header header_;
    struct FreeChunk {
        void operator()(char* p) const;
    };
    struct Chunk {
        std::unique_ptr<char, FreeChunk> data;
        std::size_t size = 0;
        std::size_t used = 0;
    };
    std::vector<Chunk> chunks_;
    std::vector<const char*> rows_;
};

}  // namespace brevan::dao::detail
