#pragma once
// The cells of one row in the stream's encoding, from the fields the row
// cracker found in it.
#include "dao/protocol/stream.h"
#include "dao/reader/mdb.h"
#include "dao/reader/memo_reader.h"
#include "dao/reader/row_cracker.h"
#include "dao/reader/row_place.h"
#include "dao/reader/text_decoder.h"

#include <string>
#include <vector>

namespace brevan::dao::reader {

// What a column's values are, for the engine: binary, OLE and unknown types
// are Unread and always Null.
protocol::ColumnKind KindOf(int columnType);

class RowCells {
public:
    // `sent[c]` false: column c is not decoded and always goes as Null.
    RowCells(const MdbTableDef& table, std::vector<bool> sent, TextDecoder& text, MemoReader& memos);

    // Appends one cell per column of the table to `out`, from `fields` (one
    // per column, as CrackRow found them) in the row `row[0, size)`. A field
    // not present is Null (Yes/No: No), and so is any field of a column not
    // sent. Throws Damage, naming `place`
    // ("row 3 on page 17 of table ..."), for a field outside the row or too
    // short for its type, and for a memo that cannot be read.
    void Append(std::string& out, const std::vector<RowField>& fields, const unsigned char* row, std::size_t size,
                const RowPlace& place);

private:
    const MdbTableDef& table_;
    std::vector<bool> sent_;
    TextDecoder& text_;
    MemoReader& memos_;
    std::string scratch_;
};

}  // namespace brevan::dao::reader
