#pragma once
// The row order of ORDER BY, as Access sorts: text without regard to case
// and by the rules of German (ICU collator "de", secondary strength), dates
// by time, numbers by value, Yes (-1) before No (0), Nulls first; rows equal
// on every key keep their stored order.
#include "dao/snapshot.h"

#include <cstdint>
#include <vector>

namespace brevan::dao::detail {

struct SortKey {
    std::size_t column;
    bool descending = false;  // reverses the whole order of the key, Nulls last
};

// The snapshot's row numbers in query order. Text keys are collated once per
// distinct value, not once per comparison.
std::vector<std::uint32_t> SortedRows(const Snapshot& snapshot, const std::vector<SortKey>& keys);

// A date/time value on a straight time line: Access stores days before
// 1899-12-30 as the negative day minus the time (-1.25 is 29.12.1899 06:00),
// which is -0.75 on the line.
double DateOnTimeLine(double days);

}  // namespace brevan::dao::detail
