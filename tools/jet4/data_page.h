// A data page under construction: rows stored from the page end downwards,
// their start offsets listed after the header.
#pragma once

#include <array>
#include <cstdint>

#include "jet4/bytes.h"

namespace jet4::detail {

// Owner field of long-value pages: the ASCII bytes "LVAL".
constexpr std::uint32_t kLvalOwner = 0x4C41564C;
// Rows longer than this are refused, as other Jet writers do.
constexpr std::size_t kMaxRecordSize = 4060;

// High bits of a row offset: the slot's row is deleted (a page scan passes
// over it), or the slot holds an overflow pointer to the row's new place.
constexpr std::uint16_t kRowDeleted = 0x8000;
constexpr std::uint16_t kRowOverflow = 0x4000;
// An overflow pointer's bytes: row number (1), page number (3).
constexpr std::size_t kOverflowPointerSize = 4;

class DataPage {
public:
    // Page/row pointers carry the row number in one byte.
    static constexpr int kMaxRows = 255;

    explicit DataPage(std::uint32_t owner = 0) { Reset(owner); }

    void Reset(std::uint32_t owner);
    bool Fits(std::size_t rowLength) const;
    // Appends a row that Fits(), its offset carrying `flags` (kRowDeleted,
    // kRowOverflow); returns its row number.
    int Add(const std::uint8_t* row, std::size_t length, std::uint16_t flags = 0);
    // Overwrites the start of row `row` (added before) with `length` bytes.
    void Overwrite(int row, const std::uint8_t* bytes, std::size_t length);
    // Where row `row` starts in the page.
    std::size_t RowStart(int row) const;
    int RowCount() const { return rows_; }
    const std::uint8_t* Data() const { return page_.data(); }

private:
    std::size_t FreeSpace() const;

    std::array<std::uint8_t, kPageSize> page_{};
    int rows_ = 0;
    std::size_t rowStart_ = kPageSize;  // start of the lowest row so far
};

}  // namespace jet4::detail
