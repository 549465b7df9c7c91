// Tables as Access leaves them after updates in place: deleted and compacted
// slots, rows moved behind overflow pointers, damaged pointers, rows older
// than added columns, deleted columns. Read back by the reference page walker
// (libmdb 1.0 reads the slot flags the wrong way round) and, where the flags
// play no part, by libmdb and mdb-export too.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "jet4/jet4_writer.h"
#include "mdb_readback.h"
#include "page_walker.h"
#include "support/run_brevan.h"
#include "support/temp_folder.h"

namespace {

using jet4::ColumnType;
using jet4::RowOptions;
using jet4::RowState;
using jet4::Value;
using pagewalk::Outcome;

constexpr RowOptions kDeleted{RowState::Deleted};
constexpr RowOptions kCompacted{RowState::Compacted};
constexpr RowOptions kMoved{RowState::Moved};

// The first column of the test tables is a Long: its bytes follow the column count.
std::int32_t IdOf(const std::string& row) {
    const auto* p = reinterpret_cast<const unsigned char*>(row.data());
    return static_cast<std::int32_t>(p[2] | p[3] << 8 | p[4] << 16 | std::uint32_t{p[5]} << 24);
}

std::vector<std::int32_t> Ids(const pagewalk::TableScan& scan) {
    std::vector<std::int32_t> ids;
    for (const auto& e : scan.entries) ids.push_back(e.outcome == Outcome::Row ? IdOf(e.row) : -1);
    return ids;
}

std::vector<std::uint16_t> Flags(const std::vector<pagewalk::Slot>& slots) {
    std::vector<std::uint16_t> flags;
    for (const auto& s : slots) flags.push_back(s.flags);
    return flags;
}

const std::vector<jet4::Column> kSmall = {
    {"N", ColumnType::Long}, {"T", ColumnType::Text, 50}, {"M", ColumnType::Memo}};

std::vector<Value> Small(std::int64_t n, const std::u16string& memo = u"kurz") {
    return {n, u"Zeile " + jet4::Utf16(std::to_string(n)), memo};
}

TEST(WriterAging, DeletedCompactedAndMovedSlotsOneByOneAndMixedOnOnePage) {
    testsupport::TempFolder dir;
    const std::string path = dir / "gealtert.mdb";
    const std::u16string longMemo(300, u'x');  // on an LVAL page, kept by the deleted row
    {
        jet4::Writer w(path);
        w.BeginTable("Gemischt", kSmall);
        w.AddRow(Small(1));
        w.AddRow(Small(2, longMemo), kDeleted);
        w.AddRow(Small(3), kCompacted);
        w.AddRow(Small(4, longMemo), kMoved);
        w.AddRow(Small(5));
        w.AddRow(Small(6), kDeleted);
        w.AddRow(Small(7), kMoved);
        w.AddRow(Small(8));
        w.EndTable();
        for (const auto& [name, options] : std::vector<std::pair<std::string, RowOptions>>{
                 {"NurGeloescht", kDeleted}, {"NurKompaktiert", kCompacted}, {"NurVerschoben", kMoved}}) {
            w.BeginTable(name, kSmall);
            for (int i = 1; i <= 3; ++i) w.AddRow(Small(i), options);
            w.EndTable();
        }
        w.Finish();
    }
    const pagewalk::File file(path);

    const auto mixed = file.Scan(readback::DefinitionPage(path, "Gemischt"));
    ASSERT_EQ(mixed.mapPages, mixed.ownedPages);
    ASSERT_EQ(mixed.mapPages.size(), 2u);  // the rows' page and the moved rows' page
    const std::uint32_t rowsPage = mixed.mapPages[0], movedPage = mixed.mapPages[1];
    EXPECT_EQ(mixed.definition.rows, 5u);
    EXPECT_EQ(Ids(mixed), (std::vector<std::int32_t>{1, 4, 5, 7, 8}));
    // Moved rows keep their place in the scan: the pointer's slot.
    EXPECT_EQ(mixed.entries[1].at, pagewalk::Place(rowsPage, 3));
    EXPECT_EQ(mixed.entries[1].hops, (std::vector<pagewalk::Place>{{movedPage, 0}}));
    EXPECT_EQ(mixed.entries[3].hops, (std::vector<pagewalk::Place>{{movedPage, 1}}));
    EXPECT_EQ(Flags(mixed.slots.at(rowsPage)),
              (std::vector<std::uint16_t>{0, 0x8000, 0xC000, 0x4000, 0, 0x8000, 0x4000, 0}));
    EXPECT_EQ(mixed.slots.at(rowsPage)[2].length, 0u);
    EXPECT_EQ(mixed.slots.at(rowsPage)[3].length, 4u);
    EXPECT_EQ(Flags(mixed.slots.at(movedPage)), (std::vector<std::uint16_t>{0x8000, 0x8000}));
    // The moved row reads whole, its long memo too; the deleted row kept its bytes.
    const auto four = file.Decode(mixed.definition, mixed.entries[1].row);
    EXPECT_EQ(four[1], "\xFF\xFEZeile 4");  // compressed text
    const std::string longStored = "\xFF\xFE" + std::string(300, 'x');
    EXPECT_EQ(four[2], longStored);
    const std::string deleted = file.Row(rowsPage, 1);
    EXPECT_EQ(IdOf(deleted), 2);
    EXPECT_EQ(file.Decode(mixed.definition, deleted)[2], longStored);

    // Pages holding nothing but deleted slots or pointers are still the table's.
    using PageFlags = std::set<std::vector<std::uint16_t>>;
    const std::map<std::string, std::pair<PageFlags, std::uint32_t>> alone = {
        {"NurGeloescht", {{{0x8000, 0x8000, 0x8000}}, 0}},
        {"NurKompaktiert", {{{0xC000, 0xC000, 0xC000}}, 0}},
        {"NurVerschoben", {{{0x4000, 0x4000, 0x4000}, {0x8000, 0x8000, 0x8000}}, 3}}};
    for (const auto& [name, expected] : alone) {
        SCOPED_TRACE(name);
        const auto scan = file.Scan(readback::DefinitionPage(path, name));
        ASSERT_EQ(scan.mapPages, scan.ownedPages);
        PageFlags pages;
        for (const auto& [page, slots] : scan.slots) pages.insert(Flags(slots));
        EXPECT_EQ(pages, expected.first);
        EXPECT_EQ(scan.definition.rows, expected.second);
        EXPECT_EQ(scan.entries.size(), expected.second);
    }
}

TEST(WriterAging, MovedRowsAndChainsAcrossManyPagesKeepTheScanOrder) {
    testsupport::TempFolder dir;
    const std::string path = dir / "viele.mdb";
    std::vector<std::int32_t> live;
    std::map<std::int32_t, int> hopsOf;
    {
        jet4::Writer w(path);
        w.BeginTable("Viele", {{"N", ColumnType::Long}, {"T", ColumnType::Text, 255}});
        for (std::int32_t i = 1; i <= 3000; ++i) {
            const Value text = jet4::Text(std::string(100 + i % 150, 'a' + i % 26));
            if (i % 13 == 0) w.AddRow({std::int64_t{-i}, text}, kDeleted);  // an old version, passed over
            RowOptions options;
            if (i % 7 == 0 || i % 11 == 0) options = {RowState::Moved, i % 11 == 0 ? 1 + i % 3 : 1};
            w.AddRow({std::int64_t{i}, text}, options);
            live.push_back(i);
            if (options.state == RowState::Moved) hopsOf[i] = options.hops;
        }
        w.Finish();
    }
    const pagewalk::File file(path);
    const auto scan = file.Scan(readback::DefinitionPage(path, "Viele"));
    ASSERT_EQ(scan.mapPages, scan.ownedPages);
    EXPECT_EQ(scan.definition.rows, live.size());
    EXPECT_EQ(Ids(scan), live);
    bool movedForward = false, movedBack = false;
    int chains = 0;
    for (const auto& e : scan.entries) {
        const std::int32_t id = IdOf(e.row);
        const int hops = hopsOf.count(id) ? hopsOf[id] : 0;
        ASSERT_EQ(static_cast<int>(e.hops.size()), hops) << id;
        if (hops == 0) continue;
        std::set<std::uint32_t> pages{e.at.first};
        for (std::size_t k = 0; k < e.hops.size(); ++k) {
            pages.insert(e.hops[k].first);
            const auto& slot = scan.slots.at(e.hops[k].first)[static_cast<std::size_t>(e.hops[k].second)];
            // Links of a chain are pointers a scan passes over; the row is a deleted-flagged one.
            EXPECT_EQ(slot.flags, k + 1 < e.hops.size() ? 0xC000 : 0x8000) << id;
            if (k + 1 < e.hops.size()) {
                EXPECT_EQ(slot.length, 4u);
            }
        }
        EXPECT_EQ(pages.size(), e.hops.size() + 1) << "every hop on another page, row " << id;
        (e.hops.back().first > e.at.first ? movedForward : movedBack) = true;
        chains += hops > 1;
    }
    EXPECT_GT(chains, 100);
    EXPECT_TRUE(movedForward);
    EXPECT_TRUE(movedBack);
}

TEST(WriterAging, BrokenPointersLeadWhereAsked) {
    testsupport::TempFolder dir;
    const std::string path = dir / "kaputt.mdb";
    using jet4::BrokenPointer;
    {
        jet4::Writer w(path);
        w.BeginTable("Kaputt", kSmall);
        w.AddRow(Small(1));
        for (BrokenPointer kind :
             {BrokenPointer::BeyondFile, BrokenPointer::DefinitionPage, BrokenPointer::UsageMapPage,
              BrokenPointer::OtherTable, BrokenPointer::MissingRow, BrokenPointer::Loop, BrokenPointer::Cycle})
            w.AddBrokenPointer(kind);
        w.AddRow(Small(2));
        w.EndTable();
        // Another table written after: its page numbers are settled at the end.
        w.BeginTable("Andere", kSmall);
        w.AddRow(Small(9));
        w.Finish();
    }
    const pagewalk::File file(path);
    const std::uint32_t tdef = readback::DefinitionPage(path, "Kaputt");
    const auto scan = file.Scan(tdef);
    ASSERT_EQ(scan.mapPages, scan.ownedPages);
    EXPECT_EQ(scan.definition.rows, 9u);  // each pointer stands for a record
    ASSERT_EQ(scan.entries.size(), 9u);
    const std::vector<Outcome> outcomes = {Outcome::Row,         Outcome::BeyondFile,  Outcome::ForeignPage,
                                           Outcome::ForeignPage, Outcome::ForeignPage, Outcome::MissingRow,
                                           Outcome::Loop,        Outcome::Loop,        Outcome::Row};
    for (std::size_t i = 0; i < outcomes.size(); ++i) EXPECT_EQ(scan.entries[i].outcome, outcomes[i]) << i;
    auto target = [&](std::size_t entry) { return scan.entries[entry].hops.front(); };
    auto pageType = [&](std::size_t entry) { return file.Page(target(entry).first)[0]; };
    auto owner = [&](std::size_t entry) {
        const unsigned char* p = file.Page(target(entry).first);
        return std::uint32_t{p[4]} | std::uint32_t{p[5]} << 8 | std::uint32_t{p[6]} << 16 | std::uint32_t{p[7]} << 24;
    };

    EXPECT_EQ(target(1), pagewalk::Place(file.PageCount(), 0));
    EXPECT_EQ(target(2), pagewalk::Place(tdef, 0));
    EXPECT_EQ(pageType(2), 0x02);
    EXPECT_EQ(target(3),
              pagewalk::Place(scan.definition.usageMap >> 8, static_cast<int>(scan.definition.usageMap & 0xFF)));
    EXPECT_EQ(pageType(3), 0x01);
    EXPECT_EQ(owner(3), 0u);
    const auto other = file.Scan(readback::DefinitionPage(path, "Andere"));
    EXPECT_EQ(target(4), pagewalk::Place(other.ownedPages.front(), 0));
    EXPECT_EQ(owner(4), readback::DefinitionPage(path, "Andere"));
    EXPECT_EQ(target(5).first, scan.entries[5].at.first);
    EXPECT_EQ(static_cast<std::size_t>(target(5).second), scan.slots.at(target(5).first).size());
    EXPECT_EQ(scan.entries[6].hops, (std::vector<pagewalk::Place>{scan.entries[6].at}));
    const auto& cycle = scan.entries[7];
    ASSERT_EQ(cycle.hops.size(), 2u);
    EXPECT_NE(cycle.hops[0].first, cycle.at.first);
    EXPECT_EQ(cycle.hops[1], cycle.at);
    EXPECT_EQ(scan.slots.at(cycle.hops[0].first)[static_cast<std::size_t>(cycle.hops[0].second)].flags, 0xC000);
    EXPECT_EQ(IdOf(scan.entries[8].row), 2);
}

// Columns added after old rows were written, and columns deleted since, as
// one table's history: numbers 0..9, of which 2 and 3 are gone.
const std::vector<jet4::Column> kHistory = {{"Id", ColumnType::Long},
                                            {"Titel", ColumnType::Text, 50},
                                            {"Alt", ColumnType::Text, 50, true},
                                            {"AltZahl", ColumnType::Long, 255, true},
                                            {"Genre", ColumnType::Text, 50},
                                            {"Dauer", ColumnType::Integer},
                                            {"Live", ColumnType::YesNo},
                                            {"Wann", ColumnType::DateTime},
                                            {"Neu", ColumnType::Text, 50},
                                            {"NeuZahl", ColumnType::Long},
                                            {"Notiz", ColumnType::Memo}};

TEST(WriterAging, OlderRowsAndDeletedColumnsReadAsTheDefinitionSays) {
    testsupport::TempFolder dir;
    const std::string path = dir / "spalten.mdb";
    const Value null = jet4::Null{};
    const Value when = jet4::DateAndTime(2024, 5, 1, 20, 15, 0);
    {
        jet4::Writer w(path);
        w.BeginTable("Sendungen", kHistory);
        // Before Notiz was added, still holding the deleted columns' bytes.
        w.AddRow({std::int64_t{1}, u"Eins", u"weg", std::int64_t{99}, u"Krimi", std::int64_t{90}, true, when, u"n1",
                  std::int64_t{7}, null},
                 {RowState::Live, 1, 10});
        // Before Neu, NeuZahl and Notiz: its null mask still ends in its first byte.
        w.AddRow({std::int64_t{2}, u"Zwei", null, null, u"Show", std::int64_t{30}, false, when, null, null, null},
                 {RowState::Live, 1, 8});
        // Before Genre onwards, the deleted columns' bytes kept.
        w.AddRow({std::int64_t{3}, u"Drei", u"alt", std::int64_t{5}, null, null, null, null, null, null, null},
                 {RowState::Live, 1, 4});
        // Written after the deletions: the deleted columns Null, in the row's shape.
        w.AddRow({std::int64_t{4}, u"Vier", null, null, u"Sport", std::int64_t{45}, true, when, u"neu", std::int64_t{8},
                  u"Notiz"});
        w.Finish();
    }

    // The definition: 11 column numbers, 5 variable indexes, 9 defined columns.
    const pagewalk::File file(path);
    const auto scan = file.Scan(readback::DefinitionPage(path, "Sendungen"));
    EXPECT_EQ(scan.definition.maxColumns, 11);
    EXPECT_EQ(scan.definition.maxVarColumns, 5);
    std::vector<std::pair<int, int>> numbers;
    for (const auto& c : scan.definition.columns) numbers.push_back({c.number, c.fixed ? -1 : c.varIndex});
    EXPECT_EQ(numbers, (std::vector<std::pair<int, int>>{
                           {0, -1}, {1, 0}, {4, 2}, {5, -1}, {6, -1}, {7, -1}, {8, 3}, {9, -1}, {10, 4}}));
    ASSERT_EQ(scan.entries.size(), 4u);
    // Each row's own column count; old ones still hold the deleted columns' bytes.
    std::vector<int> counts;
    for (const auto& e : scan.entries) counts.push_back(static_cast<unsigned char>(e.row[0]));
    EXPECT_EQ(counts, (std::vector<int>{10, 8, 4, 11}));
    EXPECT_NE(scan.entries[0].row.find("\xFF\xFEweg"), std::string::npos);
    EXPECT_NE(scan.entries[2].row.find("\xFF\xFE"
                                       "alt"),
              std::string::npos);

    // libmdb reads this right (the missing columns Null, the gaps skipped) but
    // for one cell: in row 2, whose null mask is one byte, libmdb takes
    // NeuZahl's bit (number 9) from past the row's end, and counts the deleted
    // fixed column AltZahl as one of the live fixed ones the row holds, so it
    // reads NeuZahl from past the row's fixed area instead of as Null.
    auto libmdbWrong = [](std::size_t row, const std::string& column) { return row == 1 && column == "NeuZahl"; };
    const auto table = readback::ReadTable(path, "Sendungen");
    EXPECT_EQ(table.columns,
              (std::vector<std::string>{"Id", "Titel", "Genre", "Dauer", "Live", "Wann", "Neu", "NeuZahl", "Notiz"}));
    ASSERT_EQ(table.rows.size(), 4u);
    std::vector<std::vector<std::string>> texts;
    std::vector<std::vector<bool>> nulls;
    for (const auto& r : table.rows) {
        texts.emplace_back();
        nulls.emplace_back();
        for (const auto& c : r) {
            texts.back().push_back(c.text);
            nulls.back().push_back(c.isNull);
        }
    }
    EXPECT_EQ(nulls[0], (std::vector<bool>{false, false, false, false, false, false, false, false, true}));
    EXPECT_EQ(nulls[1][6], true);
    EXPECT_EQ(nulls[1][8], true);
    EXPECT_EQ(file.Decode(scan.definition, scan.entries[1].row)[7], std::nullopt);  // NeuZahl
    EXPECT_EQ(nulls[2], (std::vector<bool>{false, false, true, true, true, true, true, true, true}));
    EXPECT_EQ(texts[0][1], "Eins");
    EXPECT_EQ(texts[0][7], "7");
    EXPECT_EQ(texts[1][2], "Show");
    EXPECT_EQ(texts[3][8], "Notiz");
    // The walker agrees with libmdb on every stored value.
    for (std::size_t r = 0; r < 4; ++r) {
        const auto decoded = file.Decode(scan.definition, scan.entries[r].row);
        for (std::size_t c = 0; c < decoded.size(); ++c) {
            SCOPED_TRACE(testing::Message() << "row " << r << ", column " << table.columns[c]);
            if (libmdbWrong(r, table.columns[c])) continue;
            if (table.columns[c] == "Live") {
                EXPECT_EQ(decoded[c], table.rows[r][c].isNull ? "0" : "1");
            } else {
                EXPECT_EQ(decoded[c].has_value(), !table.rows[r][c].isNull);
                if (decoded[c]) {
                    EXPECT_EQ(*decoded[c], table.rows[r][c].raw);
                }
            }
        }
    }
    const auto exported = testsupport::RunProgram({"mdb-export", "-T", "%Y-%m-%d %H:%M:%S", path, "Sendungen"});
    ASSERT_EQ(exported.status, 0) << exported.errors;
    const std::string out = exported.output;
    const std::string second = "2,\"Zwei\",\"Show\",30,0,\"2024-05-01 20:15:00\",,";  // then NeuZahl, misread
    const auto at = out.find(second);
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.substr(0, at),
              "Id,Titel,Genre,Dauer,Live,Wann,Neu,NeuZahl,Notiz\n"
              "1,\"Eins\",\"Krimi\",90,1,\"2024-05-01 20:15:00\",\"n1\",7,\n");
    EXPECT_EQ(out.substr(out.find('\n', at) + 1),
              "3,\"Drei\",,,0,,,,\n"
              "4,\"Vier\",\"Sport\",45,1,\"2024-05-01 20:15:00\",\"neu\",8,\"Notiz\"\n");
}

TEST(WriterAging, BadAgingRequestsAreRefused) {
    testsupport::TempFolder dir;
    auto refusal = [](auto&& call) -> std::string {
        try {
            call();
        } catch (const jet4::WriteError& e) {
            return e.what();
        }
        return "(accepted)";
    };
    {
        jet4::Writer w(dir / "x.mdb");
        EXPECT_NE(refusal([&] {
                      w.BeginTable("T", {{"A", ColumnType::Long, 255, true}});
                  }).find("no columns"),
                  std::string::npos);
        // A deleted column's name may be taken again.
        w.BeginTable("T", {{"A", ColumnType::Long, 255, true}, {"A", ColumnType::Long}, {"B", ColumnType::Text, 5}});
        const std::vector<Value> row = {jet4::Null{}, std::int64_t{1}, u"b"};
        EXPECT_NE(refusal([&] {
                      w.AddRow(row, {RowState::Live, 1, 4});
                  }).find("row 1: a row holds 1 to 3 columns, not 4"),
                  std::string::npos);
        EXPECT_NE(refusal([&] {
                      w.AddRow(row, {RowState::Moved, 0});
                  }).find("1 to 100 hops, not 0"),
                  std::string::npos);
        EXPECT_NE(refusal([&] { w.AddRow(row, {RowState::Moved, 101}); }).find("not 101"), std::string::npos);
        EXPECT_NE(refusal([&] {
                      w.AddRow(row, {RowState::Live, 1, 2});
                  }).find("row 4, column \"B\": the row holds only its first 2"),
                  std::string::npos);
        w.AddRow(row, {RowState::Moved, 2});  // still usable
        w.AddBrokenPointer(jet4::BrokenPointer::OtherTable);
        EXPECT_NE(refusal([&] { w.Finish(); }).find("another table with rows"), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
