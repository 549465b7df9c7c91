// Tables as a whole: row counts, large tables, several tables, wide
// definitions, identical bytes for identical input.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "jet4/jet4_writer.h"
#include "mdb_readback.h"
#include "support/listing_db.h"
#include "support/temp_folder.h"

namespace {

using jet4::ColumnType;
using jet4::Value;

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Page type bytes of the file, one per 4096-byte page.
std::string PageTypes(const std::string& path) {
    const std::string all = Bytes(path);
    std::string types;
    for (std::size_t at = 0; at < all.size(); at += 4096) types.push_back(all[at]);
    return types;
}

std::u16string Description(std::int64_t i) {
    std::u16string s = u"Sendung Nummer " + jet4::Utf16(std::to_string(i)) + u". ";
    while (s.size() < static_cast<std::size_t>(200 + i % 400)) s += u"Schöne Grüße. ";
    return s;
}

TEST(WriterTables, HundredThousandRowsAllReadBackInOrder) {
    testsupport::TempFolder dir;
    const std::string path = dir / "gross.mdb";
    constexpr std::int64_t kRows = 100000;
    {
        jet4::Writer w(path);
        w.BeginTable("TVDaten", {{"N", ColumnType::Long},
                                 {"Senderkennung", ColumnType::Text, 50},
                                 {"Datum", ColumnType::DateTime},
                                 {"Beschreibung", ColumnType::Memo}});
        for (std::int64_t i = 1; i <= kRows; ++i)
            w.AddRow({i, jet4::Text("SENDER" + std::to_string(i % 150)), jet4::DateTime{45000.0 + double(i % 30)},
                      Description(i)});
        w.Finish();
    }
    std::int64_t expected = 1;
    std::int64_t mismatches = 0;
    const auto table = readback::ForEachRow(path, "TVDaten", [&](const std::vector<readback::Cell>& row) {
        const bool ok =
            readback::RawInt(row[0].raw) == expected && row[1].text == "SENDER" + std::to_string(expected % 150) &&
            readback::RawDouble(row[2].raw) == 45000.0 + double(expected % 30) && row[3].units == Description(expected);
        if (!ok) ++mismatches;
        ++expected;
    });
    EXPECT_EQ(table.definedRows, static_cast<std::uint64_t>(kRows));
    EXPECT_EQ(table.rowsRead, static_cast<std::uint64_t>(kRows));
    EXPECT_EQ(mismatches, 0);
    // Memos interleave with the data pages, so the table spans far more than
    // 512 pages and its usage map needs bitmap pages.
    EXPECT_NE(PageTypes(path).find('\x05'), std::string::npos);
}

TEST(WriterTables, SeveralTablesInOneFile) {
    testsupport::TempFolder dir;
    const std::string path = dir / "mehrere.mdb";
    {
        jet4::Writer w(path);
        w.BeginTable("Sender", {{"Kennung", ColumnType::Text, 20}, {"Nummer", ColumnType::Integer}});
        for (int i = 0; i < 700; ++i)
            w.AddRow({jet4::Text(std::string("K").append(std::to_string(i))), std::int64_t{i}});
        w.EndTable();
        w.BeginTable("Leer", {{"X", ColumnType::Long}});
        w.EndTable();
        w.BeginTable("Umsätze", {{"Betrag", ColumnType::Double}, {"Notiz", ColumnType::Memo}});
        w.AddRow({12.5, jet4::Text("zwölf fünfzig")});
        w.Finish();  // ends the open table
    }
    EXPECT_EQ(readback::TableNames(path), (std::vector<std::string>{"Sender", "Leer", "Umsätze"}));
    const auto sender = readback::ReadTable(path, "Sender");
    EXPECT_EQ(sender.definedRows, 700u);
    ASSERT_EQ(sender.rows.size(), 700u);
    EXPECT_EQ(sender.rows[699][0].text, "K699");
    EXPECT_EQ(sender.rows[699][1].text, "699");
    const auto leer = readback::ReadTable(path, "Leer");
    EXPECT_EQ(leer.definedRows, 0u);
    EXPECT_EQ(leer.rowsRead, 0u);
    const auto umsaetze = readback::ReadTable(path, "Umsätze");
    ASSERT_EQ(umsaetze.rows.size(), 1u);
    EXPECT_EQ(umsaetze.rows[0][1].text, "zwölf fünfzig");
}

TEST(WriterTables, UnusualShapesReadBack) {
    testsupport::TempFolder dir;
    const std::string path = dir / "formen.mdb";
    std::vector<jet4::Column> wide;
    for (int i = 0; i < 255; ++i) wide.push_back({"Spalte" + std::to_string(i), ColumnType::Text, 10});
    std::vector<Value> wideRow;
    for (int i = 0; i < 255; ++i) wideRow.push_back(i % 7 == 0 ? Value{jet4::Null{}} : jet4::Text(std::to_string(i)));
    {
        jet4::Writer w(path);
        // No variable columns at all, and tiny rows: 255 to a page.
        w.BeginTable("Fest", {{"F", ColumnType::YesNo}, {"I", ColumnType::Integer}});
        for (int i = 0; i < 1000; ++i) w.AddRow({i % 3 == 0, std::int64_t{i}});
        w.EndTable();
        // A definition longer than one page.
        w.BeginTable("Breit", wide);
        w.AddRow(wideRow);
        w.AddRow(wideRow);
        w.Finish();
    }
    const auto fest = readback::ReadTable(path, "Fest");
    ASSERT_EQ(fest.rows.size(), 1000u);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(fest.rows[i][0].isNull, i % 3 != 0);
        EXPECT_EQ(readback::RawInt(fest.rows[i][1].raw), i);
    }
    const auto breit = readback::ReadTable(path, "Breit");
    ASSERT_EQ(breit.columns.size(), 255u);
    EXPECT_EQ(breit.columns[254], "Spalte254");
    ASSERT_EQ(breit.rows.size(), 2u);
    for (int i = 0; i < 255; ++i) {
        EXPECT_EQ(breit.rows[1][i].isNull, i % 7 == 0);
        if (i % 7) {
            EXPECT_EQ(breit.rows[1][i].text, std::to_string(i));
        }
    }
}

TEST(WriterTables, SameInputGivesSameBytes) {
    testsupport::TempFolder dir;
    auto write = [&](const std::string& name) {
        testsupport::WriteListingDb(
            dir / name, {testsupport::Listing("ARD", jet4::Date(2024, 5, 1), jet4::TimeOfDay(20, 15, 0), "Tatort",
                                              "Krimi", std::string(3000, 'x')),
                         {jet4::Null{}, jet4::Null{}, jet4::Null{}, jet4::Null{}, jet4::Null{}, jet4::Null{}}});
        return Bytes(dir / name);
    };
    const std::string first = write("a.mdb");
    EXPECT_EQ(first, write("b.mdb"));
    EXPECT_EQ(first.size() % 4096, 0u);
    const auto table = readback::ReadTable(dir / "a.mdb", "TVDaten");
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.columns,
              (std::vector<std::string>{"Senderkennung", "Datum", "Uhrzeit", "Sendung", "Genre", "Beschreibung"}));
    EXPECT_EQ(table.rows[0][2].text, "1899-12-30 20:15:00");
    EXPECT_EQ(table.rows[0][5].text, std::string(3000, 'x'));
    for (const auto& cell : table.rows[1]) EXPECT_TRUE(cell.isNull);
}

}  // namespace
