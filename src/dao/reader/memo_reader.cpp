#include "dao/reader/memo_reader.h"

#include "dao/reader/damage.h"
#include "dao/reader/jet_page.h"
#include "dao/reader/mdb.h"

namespace brevan::dao::reader {

MemoReader::MemoReader(PageSource& pages, TextDecoder& text, unsigned rowCountOffset, std::string owner)
    : pages_(pages), text_(text), rowCountOffset_(rowCountOffset), owner_(std::move(owner)) {
    lval_.resize(pages.PageSize());
}

void MemoReader::LvalRow(std::uint32_t pgRow, const unsigned char*& data, std::size_t& size) {
    const std::uint32_t page = pgRow >> 8;
    const unsigned row = pgRow & 0xFF;
    if (page == 0) throw Damage{"a memo of " + owner_ + " points nowhere"};
    if (page != lvalPage_) {
        lvalPage_ = 0;
        pages_.Read(page, lval_.data(), owner_);
        lvalPage_ = page;
    }
    const std::size_t pageSize = pages_.PageSize();
    const unsigned char* p = lval_.data();
    const unsigned rows = Get16(p + rowCountOffset_);
    if (p[0] != MDB_PAGE_DATA || row >= rows || rowCountOffset_ + 2 + 2 * std::size_t(rows) > pageSize)
        throw Damage{"a memo of " + owner_ + " points to a missing row (page " + std::to_string(page) + ")"};
    const unsigned start = Get16(p + rowCountOffset_ + 2 + 2 * row) & kRowOffsetMask;
    const unsigned end = row == 0 ? pageSize : (Get16(p + rowCountOffset_ + 2 * row) & kRowOffsetMask);
    if (start > end || end > pageSize)
        throw Damage{"a memo row on page " + std::to_string(page) + " has an impossible position"};
    data = p + start;
    size = end - start;
}

void MemoReader::Append(const unsigned char* f, std::size_t size, std::string& out) {
    if (size == 0) return;  // an empty memo without its 12-byte field
    if (size < MDB_MEMO_OVERHEAD) throw Damage{"a memo of " + owner_ + " is broken"};
    const std::uint32_t word = Get32(f);
    const std::uint32_t length = word & 0x00FFFFFF;
    if (word & 0x80000000u) {  // inline, in the row
        text_.Append(f + MDB_MEMO_OVERHEAD, size - MDB_MEMO_OVERHEAD, out);
    } else if (word & 0x40000000u) {  // one LVAL row
        const unsigned char* data;
        std::size_t n;
        LvalRow(Get32(f + 4), data, n);
        text_.Append(data, n, out);
    } else if ((word & 0xFF000000u) == 0) {  // a chain of LVAL rows
        memo_.clear();
        std::uint32_t pgRow = Get32(f + 4);
        std::uint32_t pieces = 0;
        while (pgRow != 0) {
            const unsigned char* data;
            std::size_t n;
            LvalRow(pgRow, data, n);
            if (n < 4 || memo_.size() + (n - 4) > length || ++pieces > length + 1)
                throw Damage{"a long memo of " + owner_ + " is broken"};
            pgRow = Get32(data);
            memo_.insert(memo_.end(), data + 4, data + n);
        }
        if (memo_.size() != length) throw Damage{"a long memo of " + owner_ + " is cut short"};
        text_.Append(memo_.data(), memo_.size(), out);
    } else {
        throw Damage{"a memo of " + owner_ + " has unknown flags"};
    }
}

}  // namespace brevan::dao::reader
