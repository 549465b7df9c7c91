// libFuzzer target for the reader's walk over a data page, where the bytes of
// a hostile or damaged file arrive: the row-offset table is read as the table
// scan reads it (flags, positions, overflow pointers followed within the
// page), every live row is cracked into its columns and its text columns are
// decoded. Nothing may read outside the page, and a field the cracker
// accepts must lie inside its row.
//
// The input: one byte choosing Jet 3 or Jet 4 and the number of columns,
// three bytes per column (fixed or variable, size or variable index), then
// the page image, its size rounded down to a Jet page size.
#include "dao/reader/jet_page.h"
#include "dao/reader/jet_text.h"
#include "dao/reader/row_cracker.h"
#include "dao/reader/row_slots.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace brevan::dao::reader;

namespace {

// Where the row count lies in a data page's header.
constexpr unsigned kJet3RowCountOffset = 8;
constexpr unsigned kJet4RowCountOffset = 12;
constexpr std::size_t kMaxChain = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    RowShape shape;
    shape.jet3 = data[0] & 1;
    shape.varTable = data[0] & 2;
    const std::size_t columns = data[0] >> 2;
    std::size_t at = 1;
    if (size < at + 3 * columns) return 0;
    unsigned fixedOffset = 0;
    for (std::size_t c = 0; c < columns; ++c, at += 3) {
        ColumnPlace place;
        place.number = data[at];
        place.fixed = data[at + 1] & 0x80;
        if (place.fixed) {
            place.size = data[at + 1] & 0x7F;
            place.fixedOffset = fixedOffset;
            fixedOffset += place.size;
        } else {
            place.varIndex = data[at + 2];
        }
        shape.columns.push_back(place);
    }
    const std::size_t pageSize = shape.jet3 ? 2048 : 4096;
    // Short inputs make a page padded with zeros: a fuzzer finds little in
    // inputs of a full page.
    std::vector<unsigned char> page(pageSize);
    for (std::size_t i = 0; at + i < size && i < pageSize; ++i) page[i] = data[at + i];

    const RowSlots slots(page.data(), pageSize, shape.jet3 ? kJet3RowCountOffset : kJet4RowCountOffset);
    if (!slots.Fits()) return 0;
    std::vector<RowField> fields;
    std::string text;
    for (unsigned r = 0; r < slots.Count(); ++r) {
        RowSlot slot = slots.At(r);
        if (slot.flags & kRowDeleted) continue;
        if (!slots.Sound(slot) || slot.Size() == 0) continue;
        // A pointer chain within this page, as TableScan::Follow checks it.
        std::size_t hops = 0;
        while ((slot.flags & kRowOverflow) && hops++ < kMaxChain) {
            if (slot.Size() < kOverflowPointerSize) break;
            const unsigned row = page[slot.start];
            if (row >= slots.Count()) break;
            slot = slots.At(row);
            if (!slots.Sound(slot) || slot.Size() == 0) break;
        }
        if ((slot.flags & kRowOverflow) || !slots.Sound(slot) || slot.Size() == 0) continue;
        const unsigned char* row = page.data() + slot.start;
        if (!CrackRow(shape, row, slot.Size(), fields)) continue;
        if (fields.size() != shape.columns.size()) std::abort();
        for (const RowField& field : fields) {
            if (!field.present) continue;
            if (field.start + field.size > slot.Size()) std::abort();
            text.clear();
            AppendJet4Text(row + field.start, field.size, text);
        }
    }
    return 0;
}
