#include "jet4/data_page.h"

#include <cstring>

namespace jet4::detail {

namespace {
constexpr std::size_t kHeaderSize = 14;      // type, 01, free space, owner, 0, row count
constexpr std::size_t kOffsetMask = 0x1FFF;  // a row offset without its flags
}  // namespace

void DataPage::Reset(std::uint32_t owner) {
    page_.fill(0);
    page_[0] = 0x01;
    page_[1] = 0x01;
    Set32(&page_[4], owner);
    rows_ = 0;
    rowStart_ = kPageSize;
    Set16(&page_[2], static_cast<std::uint32_t>(FreeSpace()));
}

std::size_t DataPage::FreeSpace() const { return rowStart_ - kHeaderSize - 2 * static_cast<std::size_t>(rows_); }

bool DataPage::Fits(std::size_t rowLength) const { return rows_ < kMaxRows && rowLength + 2 <= FreeSpace(); }

int DataPage::Add(const std::uint8_t* row, std::size_t length, std::uint16_t flags) {
    rowStart_ -= length;
    if (length > 0) std::memcpy(&page_[rowStart_], row, length);
    Set16(&page_[kHeaderSize + 2 * static_cast<std::size_t>(rows_)], static_cast<std::uint32_t>(rowStart_) | flags);
    ++rows_;
    Set16(&page_[12], static_cast<std::uint32_t>(rows_));
    Set16(&page_[2], static_cast<std::uint32_t>(FreeSpace()));
    return rows_ - 1;
}

std::size_t DataPage::RowStart(int row) const {
    const std::uint8_t* slot = &page_[kHeaderSize + 2 * static_cast<std::size_t>(row)];
    return (slot[0] | std::size_t{slot[1]} << 8) & kOffsetMask;
}

void DataPage::Overwrite(int row, const std::uint8_t* bytes, std::size_t length) {
    std::memcpy(&page_[RowStart(row)], bytes, length);
}

}  // namespace jet4::detail
