// Usage maps: the rows that tell readers which pages hold a table's rows.
#pragma once

#include <cstdint>
#include <vector>

#include "jet4/bytes.h"
#include "jet4/page_file.h"

namespace jet4::detail {

constexpr std::size_t kMapRowSize = 69;

// The map row for `pages` (ascending). Pages spanning up to 512 numbers get
// an inline bitmap (type 0); wider spans get a type 1 row whose bitmap pages
// are reserved in and written to `file` here.
Bytes BuildUsageMap(const std::vector<std::uint32_t>& pages, PageFile& file);

// A map that marks no page.
Bytes EmptyUsageMap();

}  // namespace jet4::detail
