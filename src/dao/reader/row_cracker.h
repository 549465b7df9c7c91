#pragma once
// Where each column's value lies in one row of a Jet 3 or Jet 4 data page,
// found by the column's own number and variable index. Rows keep the layout
// of the table as it was when they were written: columns added since are
// missing from older rows (they read as Null), and deleted columns keep
// their numbers, variable indexes and bytes, leaving gaps between the live
// ones.
#include <cstddef>
#include <vector>

namespace brevan::dao::reader {

// One column of the table definition, as its rows store it.
struct ColumnPlace {
    unsigned number = 0;       // its bit in a row's null mask, deleted columns counted
    bool fixed = false;        // in the fixed area (Yes/No too, with size 0)
    unsigned fixedOffset = 0;  // fixed: from the end of the row's column count
    unsigned size = 0;         // fixed: bytes
    unsigned varIndex = 0;     // variable: its entry in the row's offset table
};

struct RowShape {
    bool jet3 = false;      // 1-byte counts and offsets with a jump table, else 2-byte
    bool varTable = false;  // the definition counts variable columns (deleted ones too): rows end in an offset table
    std::vector<ColumnPlace> columns;  // in the order the reader reports them
};

// Where one column's value lies in its row.
struct RowField {
    // The row holds the column and its null-mask bit is set: not Null (for
    // Yes/No: Yes). A column the row does not hold, or whose variable index
    // is past the row's offset table, is not present.
    bool present = false;
    unsigned start = 0;  // from the row's first byte; 0 when not present
    unsigned size = 0;
};

// Sets `fields` to one entry per column of `shape` for the row `row[0, size)`.
// Returns false, leaving `fields` unspecified, when the row cannot be read
// that way: too short for its own column count, null mask and offset table,
// or a present value lying outside the row's data (offsets out of order or
// past the row's end, a fixed column beyond the fixed area).
bool CrackRow(const RowShape& shape, const unsigned char* row, std::size_t size, std::vector<RowField>& fields);

}  // namespace brevan::dao::reader
