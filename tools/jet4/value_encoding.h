// A value in its stored form, checked against its column.
#pragma once

#include <string>

#include "jet4/bytes.h"
#include "jet4/jet4_writer.h"
#include "jet4/row_encoder.h"

namespace jet4::detail {

constexpr std::size_t kMemoHeader = 12;     // length and flags, pg_row, 0
constexpr std::size_t kMemoInlineMax = 64;  // stored bytes kept inside the row

struct EncodedValue {
    Cell cell;          // final for all but memos
    bool memo = false;  // a non-Null memo: its field is made when it is placed
    bool inlineMemo = false;
    Bytes memoText;  // memo: the stored text bytes
};

const char* TypeName(ColumnType t);

// Throws WriteError naming `where` (table and row), the column and the fault.
EncodedValue EncodeValue(const Column& col, const Value& v, const std::string& where);

}  // namespace jet4::detail
