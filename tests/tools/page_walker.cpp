#include "page_walker.h"

#include <set>
#include <stdexcept>

#include "support/temp_folder.h"

namespace pagewalk {
namespace {

constexpr std::size_t kPage = 4096;
constexpr int kYesNo = 0x01;
constexpr int kMemo = 0x0C;

std::uint32_t Le(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

int RowCount(const unsigned char* page) { return static_cast<int>(Le(page + 12, 2)); }
std::uint16_t RawOffset(const unsigned char* page, int row) {
    return static_cast<std::uint16_t>(Le(page + 14 + 2 * row, 2));
}
std::size_t Start(const unsigned char* page, int row) { return RawOffset(page, row) & 0x1FFF; }
std::size_t End(const unsigned char* page, int row) { return row == 0 ? kPage : Start(page, row - 1); }

}  // namespace

File::File(const std::string& path) : bytes_(testsupport::ReadFile(path)) {}

const unsigned char* File::Page(std::uint32_t page) const {
    return reinterpret_cast<const unsigned char*>(bytes_.data()) + std::size_t{page} * kPage;
}

std::string File::Row(std::uint32_t page, int row) const {
    const unsigned char* p = Page(page);
    return std::string(reinterpret_cast<const char*>(p) + Start(p, row), End(p, row) - Start(p, row));
}

Definition File::ReadDefinition(std::uint32_t tdefPage) const {
    std::string tdef(reinterpret_cast<const char*>(Page(tdefPage)), kPage);
    for (std::uint32_t next = Le(Page(tdefPage) + 4, 4); next != 0; next = Le(Page(next) + 4, 4))
        tdef.append(reinterpret_cast<const char*>(Page(next)) + 8, kPage - 8);
    const auto* t = reinterpret_cast<const unsigned char*>(tdef.data());
    Definition d{Le(t + 16, 4), static_cast<int>(Le(t + 41, 2)), static_cast<int>(Le(t + 43, 2)), {}, Le(t + 55, 4)};
    const int count = static_cast<int>(Le(t + 45, 2));
    std::size_t names = 63 + 25 * std::size_t(count);
    for (int i = 0; i < count; ++i) {
        const unsigned char* c = t + 63 + 25 * i;
        ColumnDef col{"",
                      c[0],
                      static_cast<int>(Le(c + 5, 2)),
                      static_cast<int>(Le(c + 7, 2)),
                      (c[15] & 0x01) != 0,
                      static_cast<int>(Le(c + 21, 2)),
                      static_cast<int>(Le(c + 23, 2))};
        const std::size_t length = Le(t + names, 2);
        for (std::size_t k = 0; k < length; k += 2) col.name.push_back(static_cast<char>(t[names + 2 + k]));
        names += 2 + length;
        d.columns.push_back(col);
    }
    return d;
}

Entry File::Follow(std::uint32_t owner, Place at) const {
    Entry e;
    e.at = at;
    std::set<Place> seen{at};
    Place here = at;
    while (true) {
        const unsigned char* p = Page(here.first);
        const std::size_t start = Start(p, here.second);
        const Place next{Le(p + start + 1, 3), p[start]};
        e.hops.push_back(next);
        if (!seen.insert(next).second) return e.outcome = Outcome::Loop, e;
        if (next.first >= PageCount()) return e.outcome = Outcome::BeyondFile, e;
        const unsigned char* q = Page(next.first);
        if (q[0] != 0x01 || Le(q + 4, 4) != owner) return e.outcome = Outcome::ForeignPage, e;
        if (next.second >= RowCount(q)) return e.outcome = Outcome::MissingRow, e;
        here = next;
        std::string bytes = Row(next.first, next.second);
        // Another pointer, whatever its deleted flag.
        if ((RawOffset(q, next.second) & kOverflow) && bytes.size() >= 4) continue;
        e.row = std::move(bytes);
        e.outcome = e.row.empty() ? Outcome::EmptyRow : Outcome::Row;
        return e;
    }
}

TableScan File::Scan(std::uint32_t tdefPage) const {
    TableScan s;
    s.definition = ReadDefinition(tdefPage);
    const unsigned char* mapPage = Page(s.definition.usageMap >> 8);
    const unsigned char* map = mapPage + Start(mapPage, static_cast<int>(s.definition.usageMap & 0xFF));
    auto mark = [&](std::uint32_t first, const unsigned char* bits, std::size_t bytes) {
        for (std::size_t i = 0; i < 8 * bytes; ++i)
            if (bits[i / 8] >> (i % 8) & 1) s.mapPages.push_back(first + static_cast<std::uint32_t>(i));
    };
    if (map[0] == 0) {
        mark(Le(map + 1, 4), map + 5, 64);
    } else {
        for (std::uint32_t k = 0; k < 17; ++k)
            if (const std::uint32_t bitmap = Le(map + 1 + 4 * k, 4)) mark(k * 32736, Page(bitmap) + 4, kPage - 4);
    }
    for (std::uint32_t n = 0; n < PageCount(); ++n)
        if (Page(n)[0] == 0x01 && Le(Page(n) + 4, 4) == tdefPage) s.ownedPages.push_back(n);

    for (std::uint32_t page : s.mapPages) {
        if (page >= PageCount())
            throw std::runtime_error("the usage map marks page " + std::to_string(page) + ", past the end");
        const unsigned char* p = Page(page);
        if (p[0] != 0x01 || Le(p + 4, 4) != tdefPage)
            throw std::runtime_error("the usage map marks page " + std::to_string(page) + ", not one of the table's");
        for (int r = 0; r < RowCount(p); ++r) {
            const std::uint16_t flags = RawOffset(p, r) & (kDeleted | kOverflow);
            s.slots[page].push_back({flags, End(p, r) - Start(p, r)});
            if (flags & kDeleted) continue;
            if (flags & kOverflow) {
                s.entries.push_back(Follow(tdefPage, {page, r}));
            } else {
                s.entries.push_back({Outcome::Row, {page, r}, {}, Row(page, r)});
            }
        }
    }
    return s;
}

std::string File::Memo(const std::string& field) const {
    const auto* f = reinterpret_cast<const unsigned char*>(field.data());
    const std::uint32_t length = Le(f, 3);
    if (f[3] & 0x80) return field.substr(12);
    std::string out;
    std::uint32_t pgRow = Le(f + 4, 4);
    while (pgRow != 0 && out.size() < length) {
        const std::string row = Row(pgRow >> 8, static_cast<int>(pgRow & 0xFF));
        if (f[3] & 0x40) return row;
        out += row.substr(4);
        pgRow = Le(reinterpret_cast<const unsigned char*>(row.data()), 4);
    }
    return out;
}

std::vector<std::optional<std::string>> File::Decode(const Definition& def, const std::string& row) const {
    const auto* r = reinterpret_cast<const unsigned char*>(row.data());
    const std::size_t n = row.size();
    const int columns = static_cast<int>(Le(r, 2));
    const std::size_t mask = (static_cast<std::size_t>(columns) + 7) / 8;
    const std::size_t countAt = n - mask - 2;
    const int varCount = def.maxVarColumns > 0 ? static_cast<int>(Le(r + countAt, 2)) : 0;
    auto varOffset = [&](int i) { return Le(r + countAt - 2 * (i + 1), 2); };
    std::vector<std::optional<std::string>> out;
    for (const ColumnDef& c : def.columns) {
        // Columns added after the row was written are not in it: Null.
        const bool bit = c.number < columns && (r[n - mask + c.number / 8] >> (c.number % 8) & 1);
        if (c.type == kYesNo) {
            out.emplace_back(bit ? "1" : "0");
        } else if (!bit || (!c.fixed && c.varIndex >= varCount)) {
            out.emplace_back(std::nullopt);
        } else if (c.fixed) {
            out.emplace_back(row.substr(2 + c.fixedOffset, c.size));
        } else {
            const std::uint32_t from = varOffset(c.varIndex);
            const std::uint32_t to =
                c.varIndex + 1 < varCount ? varOffset(c.varIndex + 1) : Le(r + countAt - 2 * varCount - 2, 2);
            const std::string stored = row.substr(from, to - from);
            out.emplace_back(c.type == kMemo ? Memo(stored) : stored);
        }
    }
    return out;
}

}  // namespace pagewalk
