// What the writer refuses, what it says, and that it leaves no file behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "jet4/jet4_writer.h"
#include "mdb_readback.h"
#include "support/temp_folder.h"

namespace {

using jet4::ColumnType;
using jet4::Value;

std::size_t FilesIn(const testsupport::TempFolder& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
    return n;
}

std::string RefusalOf(jet4::Writer& w, const std::vector<Value>& row) {
    try {
        w.AddRow(row);
    } catch (const jet4::WriteError& e) {
        return e.what();
    }
    return "(accepted)";
}

const std::vector<jet4::Column> kColumns = {{"Titel", ColumnType::Text, 5},
                                            {"Nummer", ColumnType::Integer},
                                            {"Zahl", ColumnType::Long},
                                            {"Live", ColumnType::YesNo},
                                            {"Wann", ColumnType::DateTime}};

std::vector<Value> Good() { return {u"ok", std::int64_t{1}, std::int64_t{2}, true, jet4::Date(2024, 1, 1)}; }

TEST(WriterRefusals, BadValuesAreNamedByTableRowAndColumn) {
    testsupport::TempFolder dir;
    {
        jet4::Writer w(dir / "x.mdb");
        w.BeginTable("Sendungen", kColumns);
        w.AddRow(Good());
        w.AddRow(Good());
        auto with = [](std::size_t column, Value v) {
            auto row = Good();
            row[column] = std::move(v);
            return row;
        };
        const std::string tooLong = RefusalOf(w, with(0, u"sechse"));
        EXPECT_NE(tooLong.find("table \"Sendungen\", row 3, column \"Titel\""), std::string::npos) << tooLong;
        EXPECT_NE(tooLong.find("6 characters"), std::string::npos) << tooLong;
        const std::string integer = RefusalOf(w, with(1, std::int64_t{32768}));
        EXPECT_NE(integer.find("row 4, column \"Nummer\""), std::string::npos) << integer;
        EXPECT_NE(integer.find("32768"), std::string::npos) << integer;
        EXPECT_NE(RefusalOf(w, with(1, std::int64_t{-32769})).find("\"Nummer\""), std::string::npos);
        EXPECT_NE(RefusalOf(w, with(2, std::int64_t{2147483648})).find("row 6, column \"Zahl\""), std::string::npos);
        EXPECT_NE(RefusalOf(w, with(2, u"7")).find("expects Long, got text"), std::string::npos);
        EXPECT_NE(RefusalOf(w, with(3, jet4::Null{})).find("column \"Live\""), std::string::npos);
        EXPECT_NE(RefusalOf(w, with(4, 3.5)).find("column \"Wann\""), std::string::npos);
        EXPECT_NE(RefusalOf(w, {u"ok"}).find("1 values for 5 columns"), std::string::npos);
        // Nothing has been renamed into place; only the temporary file exists.
        EXPECT_FALSE(std::filesystem::exists(dir / "x.mdb"));
        EXPECT_EQ(FilesIn(dir), 1u);
    }
    EXPECT_EQ(FilesIn(dir), 0u);  // the destructor removed it
}

TEST(WriterRefusals, RefusedRowsAreLeftOutAndWritingGoesOn) {
    testsupport::TempFolder dir;
    const std::string path = dir / "weiter.mdb";
    jet4::Writer w(path);
    w.BeginTable("T", kColumns);
    w.AddRow(Good());
    EXPECT_THROW(w.AddRow({u"zu lang", std::int64_t{1}, std::int64_t{2}, true, jet4::Date(2024, 1, 1)}),
                 jet4::WriteError);
    w.AddRow(Good());
    w.Finish();
    const auto table = readback::ReadTable(path, "T");
    EXPECT_EQ(table.definedRows, 2u);
    EXPECT_EQ(table.rowsRead, 2u);
    EXPECT_EQ(FilesIn(dir), 1u);
}

TEST(WriterRefusals, AnUnfinishedWriterLeavesAnExistingFileAlone) {
    testsupport::TempFolder dir;
    const std::string path = dir / "alt.mdb";
    testsupport::WriteFile(path, "previous contents");
    {
        jet4::Writer w(path);
        w.BeginTable("T", kColumns);
        w.AddRow(Good());
    }
    EXPECT_EQ(testsupport::ReadFile(path), "previous contents");
    EXPECT_EQ(FilesIn(dir), 1u);
}

TEST(WriterRefusals, RecordsLongerThanAPageAreRefused) {
    testsupport::TempFolder dir;
    std::vector<jet4::Column> cols;
    std::vector<Value> row;
    for (int i = 0; i < 9; ++i) {
        cols.push_back({"T" + std::to_string(i), ColumnType::Text, 255});
        row.push_back(std::u16string(255, u'\u4E00'));  // 510 bytes each, stored plain
    }
    cols.push_back({"M", ColumnType::Memo});
    row.push_back(std::u16string(30, u'x'));
    jet4::Writer w(dir / "lang.mdb");
    w.BeginTable("Lang", cols);
    // 4,590 bytes of text with an inline memo moved out is still too long.
    const std::string message = RefusalOf(w, row);
    EXPECT_NE(message.find("table \"Lang\", row 1"), std::string::npos) << message;
    EXPECT_NE(message.find("more than 4060"), std::string::npos) << message;
    // 4,010 bytes of text leave no room for the memo inside the row; it moves
    // to a long-value page instead.
    row[7] = std::u16string(220, u'\u4E00');
    row[8] = jet4::Null{};
    EXPECT_EQ(RefusalOf(w, row), "(accepted)");
    w.Finish();
    const auto table = readback::ReadTable(dir / "lang.mdb", "Lang");
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][9].text, std::string(30, 'x'));
    EXPECT_EQ(table.rows[0][7].units, std::u16string(220, u'\u4E00'));
}

TEST(WriterRefusals, BadDefinitionsAndCallsOutOfOrder) {
    testsupport::TempFolder dir;
    jet4::Writer w(dir / "def.mdb");
    EXPECT_THROW(w.AddRow(Good()), jet4::WriteError);
    EXPECT_THROW(w.EndTable(), jet4::WriteError);
    EXPECT_THROW(w.BeginTable("T", {}), jet4::WriteError);
    EXPECT_THROW(w.BeginTable("", {{"A", ColumnType::Long}}), jet4::WriteError);
    EXPECT_THROW(w.BeginTable("MSysObjects", {{"A", ColumnType::Long}}), jet4::WriteError);
    EXPECT_THROW(w.BeginTable("T", {{"A", ColumnType::Long}, {"a", ColumnType::Text}}), jet4::WriteError);
    EXPECT_THROW(w.BeginTable("T", {{"A", ColumnType::Text, 0}}), jet4::WriteError);
    EXPECT_THROW(w.BeginTable("T", {{"A", ColumnType::Text, 256}}), jet4::WriteError);
    w.BeginTable("T", {{"A", ColumnType::Long}});
    EXPECT_THROW(w.BeginTable("U", {{"A", ColumnType::Long}}), jet4::WriteError);
    w.EndTable();
    EXPECT_THROW(w.BeginTable("t", {{"A", ColumnType::Long}}), jet4::WriteError);
    w.Finish();
    EXPECT_THROW(w.Finish(), jet4::WriteError);
    EXPECT_EQ(readback::TableNames(dir / "def.mdb"), std::vector<std::string>{"T"});
}

TEST(WriterRefusals, AnUnwritableFolderIsReportedAtOnce) {
    try {
        jet4::Writer w("/nonexistent-folder/x.mdb");
        FAIL() << "no error";
    } catch (const jet4::WriteError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/x.mdb"), std::string::npos) << e.what();
    }
}

}  // namespace
