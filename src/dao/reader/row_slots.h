#pragma once
// The row-offset table of a data page (Jet 3 and Jet 4 alike): one 16-bit
// entry per slot, the row's start in the low 13 bits and two flags above.
#include "dao/reader/jet_page.h"

#include <cstddef>
#include <cstdint>

namespace brevan::dao::reader {

// The row is gone; its bytes may still be there. A row moved behind an
// overflow pointer carries it at its new place too, so that a page scan
// passes over it. With kRowOverflow and length 0: a slot whose bytes were
// reclaimed when the page was compacted.
constexpr unsigned kRowDeleted = 0x8000;
// The slot holds an overflow pointer to the row's new place: the row number
// (1 byte) and page number (3 bytes) of a data page of the same table.
constexpr unsigned kRowOverflow = 0x4000;
constexpr std::size_t kOverflowPointerSize = 4;

struct RowSlot {
    unsigned flags;  // kRowDeleted, kRowOverflow
    unsigned start;  // from the page's first byte
    unsigned end;    // where the next lower slot starts (the page's end for slot 0)
    std::size_t Size() const { return end - start; }
};

class RowSlots {
public:
    RowSlots(const unsigned char* page, std::size_t pageSize, unsigned rowCountOffset)
        : page_(page), pageSize_(pageSize), table_(rowCountOffset + 2), count_(Get16(page + rowCountOffset)) {}

    unsigned Count() const { return count_; }
    // The offset table lies within the page.
    bool Fits() const { return table_ + 2 * std::size_t(count_) <= pageSize_; }
    // Slot `r` (below Count()), its positions unchecked.
    RowSlot At(unsigned r) const {
        const unsigned raw = Get16(page_ + table_ + 2 * r);
        const unsigned end =
            r == 0 ? static_cast<unsigned>(pageSize_) : Get16(page_ + table_ + 2 * (r - 1)) & kRowOffsetMask;
        return RowSlot{raw & (kRowDeleted | kRowOverflow), raw & kRowOffsetMask, end};
    }
    // The slot's bytes lie within the page, in order.
    bool Sound(const RowSlot& s) const { return s.start < pageSize_ && s.start <= s.end && s.end <= pageSize_; }

private:
    const unsigned char* page_;
    std::size_t pageSize_;
    std::size_t table_;
    unsigned count_;
};

}  // namespace brevan::dao::reader
