#include "platform/dao_sort.h"

#include "platform/error.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cmath>
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

int Compare(const Key& a, const Key& b) {
    if (a.rank != b.rank) return a.rank < b.rank ? -1 : 1;
    if (a.rank != 2 || a.value == b.value) return 0;
    return a.value < b.value ? -1 : 1;
}

// The collator is made once and kept: opening one loads rule data.
UCollator* GermanCollator() {
    static UCollator* collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCollator* c = ucol_open("de", &status);
        if (U_FAILURE(status)) throw Error(std::string("Cannot sort text: the ICU collator is missing (") + u_errorName(status) + ").");
        ucol_setStrength(c, UCOL_SECONDARY);
        return c;
    }();
    return collator;
}

// Ranks the distinct texts of one column: equal ranks collate equal.
void RankTexts(const Snapshot& snapshot, std::size_t column, std::vector<Key>& keys, std::size_t stride, std::size_t slot) {
    const std::size_t rows = snapshot.RowCount();
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<std::string_view> distinct;
    std::vector<std::uint32_t> rowId(rows, UINT32_MAX);
    for (std::size_t r = 0; r < rows; ++r) {
        const char* cell = snapshot.Cell(r, column);
        if (static_cast<CellTag>(*cell) != CellTag::Text) continue;
        const std::string_view text = Snapshot::Text(cell);
        auto [it, added] = ids.try_emplace(text, static_cast<std::uint32_t>(distinct.size()));
        if (added) distinct.push_back(text);
        rowId[r] = it->second;
    }

    UCollator* collator = GermanCollator();
    std::vector<std::string> sortKeys(distinct.size());
    std::u16string utf16;
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        UErrorCode status = U_ZERO_ERROR;
        int32_t length = 0;
        utf16.resize(distinct[i].size() + 1);
        // Ill-formed sequences (unpaired surrogates) collate as U+FFFD.
        u_strFromUTF8WithSub(utf16.data(), static_cast<int32_t>(utf16.size()), &length, distinct[i].data(),
                             static_cast<int32_t>(distinct[i].size()), 0xFFFD, nullptr, &status);
        std::string& key = sortKeys[i];
        key.resize(distinct[i].size() * 4 + 16);
        int32_t need = ucol_getSortKey(collator, utf16.data(), length, reinterpret_cast<uint8_t*>(key.data()),
                                       static_cast<int32_t>(key.size()));
        if (need > static_cast<int32_t>(key.size())) {
            key.resize(static_cast<std::size_t>(need));
            need = ucol_getSortKey(collator, utf16.data(), length, reinterpret_cast<uint8_t*>(key.data()), need);
        }
        key.resize(static_cast<std::size_t>(std::max(need, 0)));
    }
    std::vector<std::uint32_t> byKey(distinct.size());
    std::iota(byKey.begin(), byKey.end(), 0u);
    std::sort(byKey.begin(), byKey.end(), [&](std::uint32_t a, std::uint32_t b) { return sortKeys[a] < sortKeys[b]; });
    std::vector<double> rankOf(distinct.size());
    double rank = 0;
    for (std::size_t i = 0; i < byKey.size(); ++i) {
        if (i > 0 && sortKeys[byKey[i]] != sortKeys[byKey[i - 1]]) ++rank;
        rankOf[byKey[i]] = rank;
    }
    for (std::size_t r = 0; r < rows; ++r)
        keys[r * stride + slot] = rowId[r] == UINT32_MAX ? Key{0, 0} : Key{rankOf[rowId[r]], 2};
}

void NumberKeys(const Snapshot& snapshot, std::size_t column, std::vector<Key>& keys, std::size_t stride, std::size_t slot) {
    for (std::size_t r = 0; r < snapshot.RowCount(); ++r) {
        const char* cell = snapshot.Cell(r, column);
        Key key{0, 0};
        switch (static_cast<CellTag>(*cell)) {
        case CellTag::Date: key = {DateOnTimeLine(Snapshot::Number(cell)), 2}; break;
        case CellTag::Integer:
        case CellTag::Floating: key = {Snapshot::Number(cell), 2}; break;
        case CellTag::True: key = {-1, 2}; break;  // Access's True is -1
        case CellTag::False: key = {0, 2}; break;
        default: break;
        }
        if (key.rank == 2 && std::isnan(key.value)) key = {0, 1};
        keys[r * stride + slot] = key;
    }
}

} // namespace

double DateOnTimeLine(double days) {
    if (!(days < 0)) return days;
    const double day = std::trunc(days);
    return day - (days - day);
}

std::vector<std::uint32_t> SortedRows(const Snapshot& snapshot, const std::vector<SortKey>& keys) {
    const std::size_t rows = snapshot.RowCount();
    std::vector<std::uint32_t> order(rows);
    std::iota(order.begin(), order.end(), 0u);
    if (keys.empty() || rows < 2) return order;

    const std::size_t stride = keys.size();
    std::vector<Key> table(rows * stride);
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (snapshot.Columns()[keys[k].column].kind == ColumnKind::Text)
            RankTexts(snapshot, keys[k].column, table, stride, k);
        else
            NumberKeys(snapshot, keys[k].column, table, stride, k);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Key* ka = &table[a * stride];
        const Key* kb = &table[b * stride];
        for (std::size_t k = 0; k < stride; ++k) {
            const int c = Compare(ka[k], kb[k]);
            if (c != 0) return keys[k].descending ? c > 0 : c < 0;
        }
        return false;
    });
    return order;
}

} // namespace brevan::dao::detail
