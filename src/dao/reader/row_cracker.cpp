#include "dao/reader/row_cracker.h"

#include "dao/reader/jet_page.h"

#include <array>

namespace brevan::dao::reader {
namespace {

// The row's offset table: entry i (0 .. count) is where variable column i
// starts; entry `count` is where the variable data ends. A Jet 3 count is
// one byte, so 256 entries and the end hold every row's.
struct VarTable {
    unsigned count = 0;
    std::size_t at = 0;  // where the offset table (and what follows it) begins: the end of the row's data
    std::array<unsigned, 257> offsets;  // Jet 3 only; Jet 4 rows are read in place
};

// Jet 4: eod, the offsets last first, the count (2 bytes each), then the null mask.
bool ReadJet4Table(const unsigned char* row, std::size_t maskAt, VarTable& table) {
    if (maskAt < 4) return false;
    table.count = Get16(row + maskAt - 2);
    const std::size_t tableBytes = 2 + 2 * (std::size_t(table.count) + 1);
    if (maskAt < tableBytes) return false;
    table.at = maskAt - tableBytes;
    return true;
}

unsigned Jet4Offset(const unsigned char* row, std::size_t maskAt, unsigned i) {
    return Get16(row + maskAt - 4 - 2 * i);
}

// Jet 3: one-byte offsets, so a jump table names the variable columns from
// which offsets count another 256: eod, the offsets last first, the jump
// table (its last entry may be a dummy), the count (1 byte), the null mask.
bool ReadJet3Table(const unsigned char* row, std::size_t size, std::size_t maskAt, VarTable& table) {
    if (maskAt < 2) return false;
    table.count = row[maskAt - 1];
    std::size_t jumps = (size - 1) / 256;
    if (maskAt < 2 + jumps + table.count) return false;
    const std::size_t last = maskAt - 2 - jumps;  // the offset of variable column 0
    if ((last - table.count) / 256 < jumps) --jumps;
    table.at = last - table.count;
    std::size_t used = 0;
    for (unsigned i = 0; i <= table.count; ++i) {
        while (used < jumps && i == row[maskAt - 2 - used]) ++used;
        table.offsets[i] = row[last - i] + 256 * static_cast<unsigned>(used);
    }
    return true;
}

}  // namespace

bool CrackRow(const RowShape& shape, const unsigned char* row, std::size_t size, std::vector<RowField>& fields) {
    const std::size_t countSize = shape.jet3 ? 1 : 2;
    if (size < countSize) return false;
    const unsigned columns = shape.jet3 ? row[0] : Get16(row);
    const std::size_t maskSize = (std::size_t(columns) + 7) / 8;
    if (size < countSize + maskSize) return false;
    const std::size_t maskAt = size - maskSize;

    VarTable table;
    table.at = maskAt;
    if (shape.varTable) {
        const bool read = shape.jet3 ? ReadJet3Table(row, size, maskAt, table) : ReadJet4Table(row, maskAt, table);
        if (!read || table.at < countSize) return false;
    }
    auto offset = [&](unsigned i) { return shape.jet3 ? table.offsets[i] : Jet4Offset(row, maskAt, i); };

    fields.resize(shape.columns.size());
    for (std::size_t i = 0; i < shape.columns.size(); ++i) {
        const ColumnPlace& c = shape.columns[i];
        RowField& f = fields[i];
        f = RowField{};
        // A column added after the row was written has no bit in its mask.
        if (c.number >= columns || !((row[maskAt + c.number / 8] >> (c.number % 8)) & 1)) continue;
        if (c.fixed) {
            const std::size_t start = countSize + c.fixedOffset;
            if (start + c.size > table.at) return false;
            f = RowField{true, static_cast<unsigned>(start), c.size};
        } else if (c.varIndex < table.count) {
            const unsigned start = offset(c.varIndex);
            const unsigned end = offset(c.varIndex + 1);
            if (start < countSize || start > end || end > table.at) return false;
            f = RowField{true, start, end - start};
        }
    }
    return true;
}

}  // namespace brevan::dao::reader
