#include "dao/sort.h"

#include "base/error.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_map>

namespace brevan::dao::detail {
namespace {

// A key of one row: Nulls, then not-a-number, then values in order.
struct Key {
    double value;
    std::uint8_t rank;  // 0 Null, 1 NaN, 2 a value
};

// A key as an unsigned number in the key's order: Null, then not-a-number,
// then the values (the bits of a double, turned so that they order as
// unsigned numbers, -0 as 0); all of it reversed for a descending key.
template <typename K>
std::uint64_t Packed(const K& key, bool descending) {
    std::uint64_t v = key.rank;
    if (key.rank == 2) {
        const double d = key.value == 0 ? 0.0 : key.value;
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        constexpr std::uint64_t kSign = 1ull << 63;
        v = (bits & kSign) ? ~bits : bits | kSign;  // at least 0x000F..., above Null and NaN
    }
    return descending ? ~v : v;
}

// The collator is made once and kept: opening one loads rule data.
UCollator* GermanCollator() {
    static UCollator* collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCollator* c = ucol_open("de", &status);
        if (U_FAILURE(status))
            throw Error(std::string("Cannot sort text: the ICU collator is missing (") + u_errorName(status) + ").");
        ucol_setStrength(c, UCOL_SECONDARY);
        return c;
    }();
    return collator;
}

// The collation sort key of a text; ill-formed sequences (unpaired
// surrogates) collate as U+FFFD.
std::string SortKeyOf(UCollator* collator, std::string_view text, std::u16string& utf16) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    utf16.resize(text.size() + 1);
    u_strFromUTF8WithSub(utf16.data(), static_cast<int32_t>(utf16.size()), &length, text.data(),
                         static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    std::string key(text.size() * 4 + 16, '\0');
    int32_t need = ucol_getSortKey(collator, utf16.data(), length, reinterpret_cast<uint8_t*>(key.data()),
                                   static_cast<int32_t>(key.size()));
    if (need > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(need));
        need = ucol_getSortKey(collator, utf16.data(), length, reinterpret_cast<uint8_t*>(key.data()), need);
    }
    key.resize(static_cast<std::size_t>(std::max(need, 0)));
    return key;
}

}  // namespace

// The distinct texts of one text key, numbered as they come.
struct RowSorter::DistinctTexts {
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<std::string_view> texts;

    std::uint32_t Id(std::string_view text) {
        auto [it, added] = ids.try_emplace(text, static_cast<std::uint32_t>(texts.size()));
        if (added) texts.push_back(text);
        return it->second;
    }

    // The rank of each id in collation order; texts that collate equal share one.
    std::vector<double> Ranks() const {
        UCollator* collator = GermanCollator();
        std::vector<std::string> keys(texts.size());
        std::u16string utf16;
        for (std::size_t i = 0; i < texts.size(); ++i) keys[i] = SortKeyOf(collator, texts[i], utf16);
        std::vector<std::uint32_t> byKey(texts.size());
        std::iota(byKey.begin(), byKey.end(), 0u);
        std::sort(byKey.begin(), byKey.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
        std::vector<double> rank(texts.size());
        double r = 0;
        for (std::size_t i = 0; i < byKey.size(); ++i) {
            if (i > 0 && keys[byKey[i]] != keys[byKey[i - 1]]) ++r;
            rank[byKey[i]] = r;
        }
        return rank;
    }
};

namespace {

Key NumberKey(const char* cell) {
    Key key{0, 0};
    switch (protocol::TagOf(cell)) {
    case protocol::CellTag::Date: key = {DateOnTimeLine(Snapshot::Number(cell)), 2}; break;
    case protocol::CellTag::Integer:
    case protocol::CellTag::Floating: key = {Snapshot::Number(cell), 2}; break;
    case protocol::CellTag::True: key = {-1, 2}; break;  // Access's True is -1
    case protocol::CellTag::False: key = {0, 2}; break;
    default: break;
    }
    if (key.rank == 2 && std::isnan(key.value)) key = {0, 1};
    return key;
}

}  // namespace

double DateOnTimeLine(double days) {
    if (!(days < 0)) return days;
    const double day = std::trunc(days);
    return day - (days - day);
}

RowSorter::RowSorter(std::vector<SortKey> keys) : keys_(std::move(keys)) {
    // Each row is walked only as far as its last key: a long memo after it
    // costs nothing.
    for (const SortKey& key : keys_) walk_ = std::max(walk_, key.column + 1);
    cells_.resize(walk_);
    for (std::size_t k = 0; k < keys_.size(); ++k) distinct_.push_back(std::make_unique<DistinctTexts>());
}

RowSorter::~RowSorter() = default;

void RowSorter::Take(const Snapshot& snapshot) {
    // Numbers become keys at once, texts get the number of their distinct
    // value, replaced by its rank in Order.
    const std::size_t stride = keys_.size();
    const std::size_t rows = snapshot.RowCount();
    if (rows <= rows_) return;
    if (stride == 0) {  // no ORDER BY: the rows keep the table's order, and there is no key to take
        rows_ = rows;
        return;
    }
    table_.resize(rows * stride);
    for (std::size_t r = rows_; r < rows; ++r) {
        snapshot.Cells(r, cells_.data(), walk_);
        Key* key = &table_[r * stride];
        for (std::size_t k = 0; k < stride; ++k) {
            const char* cell = cells_[keys_[k].column];
            if (protocol::TagOf(cell) == protocol::CellTag::Text) {
                key[k] = {static_cast<double>(distinct_[k]->Id(Snapshot::Text(cell))), 2};
            } else {
                const auto number = NumberKey(cell);
                key[k] = {number.value, number.rank};
            }
        }
    }
    rows_ = rows;
}

std::vector<std::uint32_t> RowSorter::Order() {
    std::vector<std::uint32_t> order(rows_);
    std::iota(order.begin(), order.end(), 0u);
    const std::size_t stride = keys_.size();
    if (stride == 0 || rows_ < 2) return order;
    for (std::size_t k = 0; k < stride; ++k) {
        if (distinct_[k]->texts.empty()) continue;
        const std::vector<double> rank = distinct_[k]->Ranks();
        for (std::size_t r = 0; r < rows_; ++r) {
            Key& key = table_[r * stride + k];
            if (key.rank == 2) key.value = rank[static_cast<std::size_t>(key.value)];
        }
    }
    // Each key as one number in the order of the key, so that rows compare
    // word by word; rows equal on every key keep their stored order.
    std::vector<std::uint64_t> packed(rows_ * stride);
    for (std::size_t i = 0; i < packed.size(); ++i) packed[i] = Packed(table_[i], keys_[i % stride].descending);
    table_ = {};  // the snapshot and all of this are held at once here
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const std::uint64_t* ka = &packed[a * stride];
        const std::uint64_t* kb = &packed[b * stride];
        return std::lexicographical_compare(ka, ka + stride, kb, kb + stride);
    });
    return order;
}

std::vector<std::uint32_t> SortedRows(const Snapshot& snapshot, const std::vector<SortKey>& keys) {
    RowSorter sorter(keys);
    sorter.Take(snapshot);
    return sorter.Order();
}

}  // namespace brevan::dao::detail
