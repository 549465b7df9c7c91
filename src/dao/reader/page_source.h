#pragma once
// The pages of the database file, read in large windows: a table's data and
// memo pages lie mostly in file order, so most reads are served from memory.
#include "dao/reader/mdb.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brevan::dao::reader {

class PageSource {
public:
    // Reads from `fd`, a file of `fileSize` bytes in pages of `pageSize`.
    // An encrypted file's pages come through libmdb, which knows the cipher.
    PageSource(int fd, std::uint64_t fileSize, std::size_t pageSize, MdbHandle* encrypted);

    std::size_t PageSize() const { return pageSize_; }
    std::uint64_t PageCount() const { return fileSize_ / pageSize_; }

    // Copies page `page` to `dst` (PageSize() bytes). Throws Damage for a
    // page beyond the end of the file or a failed read; `owner` names what
    // the page belongs to in that message (e.g. "table \"TVDaten\"").
    void Read(std::uint32_t page, unsigned char* dst, const std::string& owner);

    // How many pages have been read from the file so far.
    std::uint64_t PagesRead() const { return pagesRead_; }

private:
    void FillWindow(std::uint32_t page);

    int fd_;
    std::uint64_t fileSize_;
    std::size_t pageSize_;
    MdbHandle* encrypted_;
    std::vector<unsigned char> window_;
    std::uint32_t windowFirst_ = 0;
    std::uint32_t windowPages_ = 0;
    std::uint64_t pagesRead_ = 0;
};

}  // namespace brevan::dao::reader
