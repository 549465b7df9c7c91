// Where each column of a table lives in a row, and the table definition
// (TDEF) pages that describe it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet4/bytes.h"

namespace jet4::detail {

// Jet column type codes.
enum TypeCode : std::uint8_t {
    kBool = 0x01,
    kInt16 = 0x03,
    kInt32 = 0x04,
    kDouble = 0x07,
    kDate = 0x08,
    kBinary = 0x09,
    kText = 0x0A,
    kOle = 0x0B,
    kMemo = 0x0C,
    kGuid = 0x0F,
};

struct ColumnSpec {
    std::u16string name;
    TypeCode type;
    std::uint16_t textBytes = 0;  // Text and Binary: the size limit in bytes
    bool deleted = false;         // dropped since: numbered and laid out, not defined
};

struct ColumnLayout {
    std::u16string name;
    TypeCode type;
    std::uint16_t number;    // position in the table, from 0
    std::uint16_t varIndex;  // variable: its index; fixed: variable columns before it
    bool fixed;
    std::uint16_t fixedOffset;  // fixed: offset in the fixed area
    std::uint16_t size;         // bytes: fixed size, or the Text/Binary limit
    bool deleted;               // dropped: keeps its place in rows, absent from the definition
};

// Every column the table ever had, deleted ones included, in number order.
struct TableLayout {
    std::vector<ColumnLayout> columns;
    std::uint16_t varCount = 0;   // variable columns, deleted ones included
    std::uint16_t fixedSize = 0;  // fixed area, deleted columns' bytes included
};

TableLayout MakeLayout(const std::vector<ColumnSpec>& specs);

// Fixed size in a row of a fixed-size type; 0 for variable types.
std::uint16_t FixedSize(TypeCode type);

struct TdefFacts {
    std::uint8_t tableType;  // 0x4E user, 0x53 system
    std::uint32_t rowCount;
    std::uint32_t usageMap;  // page/row pointers
    std::uint32_t freeMap;
};

// Pages the definition of `layout` takes.
std::uint32_t TdefPageCount(const TableLayout& layout);
// The definition pages (TdefPageCount * kPageSize bytes) for pages firstPage...
Bytes BuildTdef(const TableLayout& layout, const TdefFacts& facts, std::uint32_t firstPage);

}  // namespace jet4::detail
