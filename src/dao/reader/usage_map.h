#pragma once
// The pages a table's usage map marks, walked by the reader itself: libmdb
// reads a map page that the file no longer holds as zeros, which makes a
// file cut short look like an empty table.
//
// A type 0 map holds a start page and a bitmap in the map row itself; a
// type 1 map lists map pages (page type 0x05), the k-th a bitmap of the
// pages from k * (page size - 4) * 8 on. A map of another type tells nothing:
// then every page of the file is offered, as libmdb does.
#include "dao/reader/page_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brevan::dao::reader {

class UsageMap {
public:
    // `row` is the map row (at least 5 bytes), `pages` reads its map pages,
    // `owner` names the table in messages (e.g. "table \"TVDaten\"").
    UsageMap(const unsigned char* row, std::size_t size, PageSource& pages, std::string owner);

    // The next page the map marks, in ascending order, never page 0 (the
    // file's header); nothing after the last. Throws Damage for a marked page
    // or a map page beyond the end of the file, and for a map page of
    // another type.
    std::optional<std::uint32_t> Next();

private:
    std::uint32_t Checked(std::uint64_t page) const;
    bool LoadMapPage();

    const unsigned char* row_;
    std::size_t size_;
    PageSource& pages_;
    std::string owner_;
    std::vector<unsigned char> mapPage_;
    std::uint64_t bit_ = 0;     // the next bit to look at, in the row or the current map page
    std::size_t entry_ = 0;     // type 1: the map page entry being walked
    bool entryLoaded_ = false;  // type 1: mapPage_ holds entry_'s page
};

}  // namespace brevan::dao::reader
