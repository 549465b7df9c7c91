#include "dao/sort.h"

#include "base/error.h"

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

// The distinct texts of one text key, numbered as they come.
struct DistinctTexts {
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

std::vector<std::uint32_t> SortedRows(const Snapshot& snapshot, const std::vector<SortKey>& keys) {
    const std::size_t rows = snapshot.RowCount();
    std::vector<std::uint32_t> order(rows);
    std::iota(order.begin(), order.end(), 0u);
    if (keys.empty() || rows < 2) return order;

    // One walk over the rows: numbers become keys at once, texts get the
    // number of their distinct value, replaced by its rank afterwards.
    const std::size_t stride = keys.size();
    const auto& columns = snapshot.Columns();
    std::vector<Key> table(rows * stride);
    std::vector<DistinctTexts> distinct(stride);
    // Each row is walked only as far as its last key: a long memo after it
    // costs nothing.
    std::size_t walk = 0;
    for (const SortKey& key : keys) walk = std::max(walk, key.column + 1);
    std::vector<const char*> cells(columns.size());
    for (std::size_t r = 0; r < rows; ++r) {
        snapshot.Cells(r, cells.data(), walk);
        Key* key = &table[r * stride];
        for (std::size_t k = 0; k < stride; ++k) {
            const char* cell = cells[keys[k].column];
            if (protocol::TagOf(cell) == protocol::CellTag::Text)
                key[k] = {static_cast<double>(distinct[k].Id(Snapshot::Text(cell))), 2};
            else
                key[k] = NumberKey(cell);
        }
    }
    for (std::size_t k = 0; k < stride; ++k) {
        if (distinct[k].texts.empty()) continue;
        const std::vector<double> rank = distinct[k].Ranks();
        for (std::size_t r = 0; r < rows; ++r) {
            Key& key = table[r * stride + k];
            if (key.rank == 2) key.value = rank[static_cast<std::size_t>(key.value)];
        }
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

}  // namespace brevan::dao::detail
