#pragma once
// The row order of ORDER BY, as Access sorts: text without regard to case
// and by the rules of German (ICU collator "de", secondary strength), dates
// by time, numbers by value, Yes (-1) before No (0), Nulls first; rows equal
// on every key keep their stored order.
#include "dao/snapshot.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace brevan::dao::detail {

struct SortKey {
    std::size_t column;
    bool descending = false;  // reverses the whole order of the key, Nulls last
};

// The snapshot's row numbers in query order, built as the rows arrive:
// Take reads the keys of the rows added since its last call (while the
// reader is still reading), Order sorts. Text keys are collated once per
// distinct value, not once per comparison.
class RowSorter {
public:
    explicit RowSorter(std::vector<SortKey> keys);
    ~RowSorter();
    RowSorter(const RowSorter&) = delete;
    RowSorter& operator=(const RowSorter&) = delete;
    void Take(const Snapshot& snapshot);
    // The rows taken, in query order. Once: it lets their keys go.
    std::vector<std::uint32_t> Order();

private:
    struct Key {
        double value;
        std::uint8_t rank;  // 0 Null, 1 NaN, 2 a value (a text's number until Order ranks it)
    };
    struct DistinctTexts;
    std::vector<SortKey> keys_;
    std::size_t walk_ = 0;  // cells walked per row: up to the last key
    std::size_t rows_ = 0;
    std::vector<Key> table_;  // rows_ x keys_.size()
    std::vector<std::unique_ptr<DistinctTexts>> distinct_;
    std::vector<const char*> cells_;
};

// The same at once.
std::vector<std::uint32_t> SortedRows(const Snapshot& snapshot, const std::vector<SortKey>& keys);

// A date/time value on a straight time line: Access stores days before
// 1899-12-30 as the negative day minus the time (-1.25 is 29.12.1899 06:00),
// which is -0.75 on the line.
double DateOnTimeLine(double days);

}  // namespace brevan::dao::detail
