// ORDER BY as Access sorts, and the SQL the engine takes or refuses.
#include "base/error.h"
#include "dao/dao.h"
#include "support/listing_db.h"
#include "support/reader/open_recordset.h"
#include "support/temp_folder.h"

#include "jet4/jet4_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace dao = brevan::dao;
using jet4::ColumnType;

namespace {

void WriteTable(const std::string& path, const std::vector<jet4::Column>& columns,
                const std::vector<std::vector<jet4::Value>>& rows) {
    jet4::Writer writer(path);
    writer.BeginTable("T", columns);
    for (const auto& row : rows) writer.AddRow(row);
    writer.Finish();
}

// The values of `field` in recordset order, "Null" for Null.
std::vector<std::string> Column(dao::Recordset& rs, const char* field) {
    std::vector<std::string> out;
    for (; !rs.Eof(); rs.MoveNext())
        out.push_back(rs.Fields(field).IsNull() ? "Null" : dao::CStr(rs.Fields(field), field));
    return out;
}

class DaoOrder : public ::testing::Test {
protected:
    testsupport::TempFolder folder_;
    std::string db_ = folder_ / "t.mdb";
};

TEST_F(DaoOrder, TextWithoutRegardToCaseTheGermanWayNullsFirstTiesInStoredOrder) {
    const std::vector<const char*> names = {"Zebra", "ärger", "apfel", "Apfel", "Äpfel", nullptr,
                                            "",      "APFEL", "Öl",    "oel",   "Ost",   "zebra"};
    std::vector<std::vector<jet4::Value>> rows;
    for (std::size_t i = 0; i < names.size(); ++i)
        rows.push_back({names[i] ? jet4::Text(names[i]) : jet4::Value(jet4::Null{}), std::int64_t(i)});
    WriteTable(db_, {{"Name", ColumnType::Text, 20}, {"Nr", ColumnType::Long}}, rows);

    auto rs = testsupport::OpenRecordset(db_, "SELECT * FROM T ORDER BY name");
    std::vector<std::string> got;
    for (; !rs->Eof(); rs->MoveNext())
        got.push_back((rs->Fields("Name").IsNull() ? "Null" : dao::CStr(rs->Fields("Name"), "Name")) + "#" +
                      dao::CStr(rs->Fields("Nr"), "Nr"));
    // "apfel", "Apfel", "APFEL" collate equal and keep their stored order;
    // the umlaut weighs less than any letter ("Äpfel" after them, "ärger"
    // before "Zebra"); "oel" < "Öl" < "Ost".
    const std::vector<std::string> expected = {"Null#5",  "#6",    "apfel#2", "Apfel#3", "APFEL#7", "Äpfel#4",
                                               "ärger#1", "oel#9", "Öl#8",    "Ost#10",  "Zebra#0", "zebra#11"};
    EXPECT_EQ(got, expected);
}

TEST_F(DaoOrder, DatesByTimeNumbersByValueYesBeforeNo) {
    WriteTable(db_,
               {{"Wann", ColumnType::DateTime},
                {"Wert", ColumnType::Double},
                {"Ja", ColumnType::YesNo},
                {"Nr", ColumnType::Long}},
               {{jet4::DateAndTime(2024, 5, 1, 20, 15, 0), 10.5, false, std::int64_t{0}},
                {jet4::DateTime{-1.75}, -3.0, true, std::int64_t{1}},  // 29.12.1899 18:00
                {jet4::Null{}, jet4::Null{}, false, std::int64_t{2}},
                {jet4::DateTime{-1.25}, 2.0, true, std::int64_t{3}},  // 29.12.1899 06:00
                {jet4::TimeOfDay(6, 0, 0), 0.0, false, std::int64_t{4}},
                {jet4::Date(2024, 5, 1), 1e10, true, std::int64_t{5}}});

    auto byDate = testsupport::OpenRecordset(db_, "SELECT * FROM T ORDER BY Wann");
    EXPECT_EQ(Column(*byDate, "Nr"), (std::vector<std::string>{"2", "3", "1", "4", "5", "0"}));
    auto byValue = testsupport::OpenRecordset(db_, "SELECT * FROM T ORDER BY Wert");
    EXPECT_EQ(Column(*byValue, "Nr"), (std::vector<std::string>{"2", "1", "4", "3", "0", "5"}));
    auto byYes = testsupport::OpenRecordset(db_, "SELECT * FROM T ORDER BY Ja, Nr DESC");
    EXPECT_EQ(Column(*byYes, "Nr"), (std::vector<std::string>{"5", "3", "1", "4", "2", "0"}));
    auto descending = testsupport::OpenRecordset(db_, "SELECT * FROM T ORDER BY Wann DESC");  // Nulls last
    EXPECT_EQ(Column(*descending, "Nr"), (std::vector<std::string>{"0", "5", "4", "1", "3", "2"}));
    auto fourKeys = testsupport::OpenRecordset(db_, "SELECT * FROM T ORDER BY Ja DESC, Wert DESC, Wann, Nr");
    EXPECT_EQ(Column(*fourKeys, "Nr"), (std::vector<std::string>{"0", "4", "2", "5", "3", "1"}));
}

TEST_F(DaoOrder, TheListingQueryOrdersByChannelDateAndTime) {
    using testsupport::Listing;
    std::vector<testsupport::ListingRow> rows = {
        Listing("ZDF", jet4::Date(2024, 5, 2), jet4::TimeOfDay(20, 15, 0), "a", "g", "d"),
        Listing("ARD", jet4::Date(2024, 5, 2), jet4::TimeOfDay(6, 0, 0), "b", "g", "d"),
        Listing("zdf", jet4::Date(2024, 5, 1), jet4::TimeOfDay(23, 0, 0), "c", "g", "d"),
        Listing("ARD", jet4::Date(2024, 5, 1), jet4::TimeOfDay(21, 45, 0), "d", "g", "d"),
        Listing("ARD", jet4::Date(2024, 5, 1), jet4::TimeOfDay(9, 5, 0), "e", "g", "d"),
        Listing("ZDF", jet4::Date(2024, 5, 2), jet4::TimeOfDay(20, 15, 0), "f", "g", "d"),  // a tie with "a"
    };
    testsupport::WriteListingDb(db_, rows);
    auto rs = testsupport::OpenRecordset(db_, "SELECT * FROM TVDaten ORDER BY SenderKennung, Datum, Uhrzeit");
    EXPECT_EQ(rs->RecordCount(), 6);
    EXPECT_EQ(Column(*rs, "Sendung"), (std::vector<std::string>{"e", "d", "b", "c", "a", "f"}));
}

TEST_F(DaoOrder, ManyRowsSortStablyOnSeveralKeys) {
    // Lower-case ASCII collates like its bytes, so std::stable_sort is the reference.
    std::mt19937 random(7);
    struct Row {
        std::string channel;
        int day;
        int minute;
        int nr;
    };
    std::vector<Row> rows;
    std::vector<std::vector<jet4::Value>> values;
    for (int i = 0; i < 20000; ++i) {
        Row r{std::string(1, char('a' + random() % 20)) + char('a' + random() % 3), int(random() % 5),
              int(random() % 30), i};
        rows.push_back(r);
        values.push_back({jet4::Text(r.channel), jet4::Date(2024, 1, 1 + r.day),
                          jet4::TimeOfDay(r.minute / 60, r.minute % 60, 0), std::int64_t{i}});
    }
    WriteTable(db_,
               {{"C", ColumnType::Text, 10},
                {"D", ColumnType::DateTime},
                {"U", ColumnType::DateTime},
                {"Nr", ColumnType::Long}},
               values);
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::tie(a.channel, a.day, a.minute) < std::tie(b.channel, b.day, b.minute);
    });
    auto rs = testsupport::OpenRecordset(db_, "SELECT * FROM T ORDER BY C, D, U");
    std::size_t i = 0;
    for (; !rs->Eof() && i < rows.size(); rs->MoveNext(), ++i)
        ASSERT_EQ(std::get<std::int64_t>(rs->Fields("Nr").value()), rows[i].nr) << "at position " << i;
    EXPECT_EQ(i, rows.size());
    EXPECT_TRUE(rs->Eof());
}

TEST_F(DaoOrder, TheSqlItTakes) {
    WriteTable(db_, {{"Sender Name", ColumnType::Text, 10}, {"Nr", ColumnType::Long}},
               {{jet4::Text("b"), std::int64_t{1}}, {jet4::Text("a"), std::int64_t{2}}});
    for (const char* sql :
         {"select * from t order by [Sender Name]", "SELECT *\n FROM [T]\n ORDER BY [sender name] ASC;",
          "  Select*From T Order By [Sender Name] , Nr  "}) {
        auto rs = testsupport::OpenRecordset(db_, sql);
        EXPECT_EQ(Column(*rs, "Nr"), (std::vector<std::string>{"2", "1"})) << sql;
    }
    auto stored = testsupport::OpenRecordset(db_, "SELECT * FROM T");
    EXPECT_EQ(Column(*stored, "Nr"), (std::vector<std::string>{"1", "2"}));
}

TEST_F(DaoOrder, OtherSqlAnUnknownOrderFieldAndOtherTypesAreRefused) {
    WriteTable(db_, {{"A", ColumnType::Long}}, {{std::int64_t{1}}});
    auto db = dao::DBEngine::Instance().Workspaces(0).OpenDatabase(db_, false, false);
    for (const char* sql :
         {"SELECT A FROM T", "SELECT * FROM T WHERE A = 1", "DELETE FROM T", "SELECT * FROM T ORDER BY",
          "SELECT * FROM T ORDER A", "SELECT * FROM", "", "SELECT * FROM T; DROP TABLE T",
          "SELECT * FROM T ORDER BY A,", "SELECT * FROM [T", "SELECT * FROM T ORDER BY A DESC DESC"}) {
        try {
            db->OpenRecordset(sql, dao::dbOpenSnapshot);
            ADD_FAILURE() << "ran: " << sql;
        } catch (const brevan::Error& e) {
            EXPECT_NE(e.Description().find("cannot run the SQL statement \"" + std::string(sql) + "\""),
                      std::string::npos)
                << e.Description();
        }
    }
    try {
        db->OpenRecordset("SELECT * FROM T ORDER BY Sendung", dao::dbOpenSnapshot);
        ADD_FAILURE() << "sorted by an unknown field";
    } catch (const brevan::Error& e) {
        EXPECT_NE(e.Description().find("\"Sendung\""), std::string::npos) << e.Description();
        EXPECT_NE(e.Description().find(db_), std::string::npos) << e.Description();
    }
    EXPECT_THROW(db->OpenRecordset("SELECT * FROM T", 2), brevan::Error);  // a dynaset
    db->Close();
    EXPECT_THROW(db->OpenRecordset("SELECT * FROM T", dao::dbOpenSnapshot), brevan::Error);
}

}  // namespace
