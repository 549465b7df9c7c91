// The read-back helper on files that Access made, so that the checks of the
// writer do not only meet the writer's own idea of the format.
#include <gtest/gtest.h>

#include <filesystem>

#include "mdb_readback.h"

namespace {

std::string AccessFile(const std::string& name) { return std::string(BREVAN_SHARED_TESTDATA) + "/access/" + name; }

TEST(AccessFiles, NorthwindJet3ReadsBack) {
    const std::string path = AccessFile("nwind.mdb");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
    const auto names = readback::TableNames(path);
    EXPECT_EQ(names.size(), 9u);
    EXPECT_NE(std::find(names.begin(), names.end(), "Umsätze"), names.end());
    const auto employees = readback::ReadTable(path, "Employees");
    EXPECT_EQ(employees.definedRows, 9u);
    ASSERT_EQ(employees.rows.size(), 9u);
    ASSERT_EQ(employees.columns[1], "LastName");
    EXPECT_EQ(employees.rows[0][1].text, "Davolio");
    EXPECT_EQ(employees.rows[0][1].units, u"Davolio");
    const auto notes = static_cast<std::size_t>(std::find(employees.columns.begin(), employees.columns.end(), "Notes") -
                                                employees.columns.begin());
    ASSERT_LT(notes, employees.columns.size());
    EXPECT_GT(employees.rows[0][notes].text.size(), 100u);
    EXPECT_FALSE(employees.rows[0][notes].isNull);
    EXPECT_EQ(employees.rows[0][notes].units.substr(0, 9), u"Education");
}

TEST(AccessFiles, Jet4DatesReadBackAsStored) {
    const std::string path = AccessFile("DateTestDatabase.mdb");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
    const auto table = readback::ReadTable(path, "DateTest");
    ASSERT_EQ(table.rows.size(), 6u);
    ASSERT_EQ(table.columns[2], "DateCol");
    EXPECT_EQ(readback::RawDouble(table.rows[0][2].raw), 44532.0);  // 2021-12-02
    EXPECT_EQ(table.rows[0][2].text, "2021-12-02 00:00:00");
    EXPECT_EQ(table.rows[5][4].text, "New line\r\nin field");
    EXPECT_EQ(table.rows[5][4].units, u"New line\r\nin field");
}

}  // namespace
