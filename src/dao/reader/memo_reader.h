#pragma once
// Memo values: kept in the row, in one row of a long-value (LVAL) page, or in
// a chain of such rows.
#include "dao/reader/page_source.h"
#include "dao/reader/text_decoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brevan::dao::reader {

class MemoReader {
public:
    // `rowCountOffset` is where a page's row count stands (format-dependent);
    // `owner` names the table in messages.
    MemoReader(PageSource& pages, TextDecoder& text, unsigned rowCountOffset, std::string owner);

    // Appends the memo whose 12-byte field (or nothing, for an empty memo)
    // is `field` to `out`. Throws Damage when the memo cannot be read whole.
    void Append(const unsigned char* field, std::size_t size, std::string& out);

private:
    // One row of an LVAL page, through a one-page cache: short memos share
    // their pages, so neighbouring rows hit the same page.
    void LvalRow(std::uint32_t pgRow, const unsigned char*& data, std::size_t& size);

    PageSource& pages_;
    TextDecoder& text_;
    unsigned rowCountOffset_;
    std::string owner_;
    std::vector<unsigned char> lval_;
    std::uint32_t lvalPage_ = 0;
    std::vector<unsigned char> memo_;
};

}  // namespace brevan::dao::reader
