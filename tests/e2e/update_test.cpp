// "/U" end to end: the real executable runs a script as the updater, waits
// for it and converts what it left.
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class UnattendedUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        database = work / "tvdaten.mdb";
        WriteListingDb(work / "fresh.mdb", {Listing("ARD", FutureDay(), jet4::TimeOfDay(20, 0, 0), "Erste", "", ""),
                                            Listing("ARD", FutureDay(), jet4::TimeOfDay(21, 0, 0), "Zweite", "", "")});
    }
    std::string Updater(const std::string& body) const {
        const std::string path = work / "tv update";  // a blank in the path is part of the command
        WriteFile(path, "#!/bin/sh\n" + body + "\n");
        fs::permissions(path, fs::perms(0755));
        return path;
    }
    bool guideShowsArd() const {
        return ReadFile(work / "tvdata.xml").find("<channel id=\"ARD\">") != std::string::npos;
    }

    Installation app;
    TempFolder work;
    std::string database;
};

}  // namespace

TEST_F(UnattendedUpdate, RunsTheUpdaterThenConvertsItsDatabase) {
    app.WriteIni(database, Updater("echo updating\ncp \"" + (work / "fresh.mdb") + "\" \"" + database + "\"\nexit 7"),
                 work.path().string());
    const RunResult run = app.Run({"/U"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(run.messages().empty()) << run.errors;
    EXPECT_EQ(run.output, "updating\n");  // the updater writes to the program's own output
    EXPECT_TRUE(guideShowsArd());
}

TEST_F(UnattendedUpdate, AMissingUpdaterIsReportedAndTheConversionStillRuns) {
    fs::copy_file(work / "fresh.mdb", database);
    const std::string missing = work / "tvupdate";
    app.WriteIni(database, missing, work.path().string());
    const RunResult run = app.Run({"/U"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.messages(), std::vector<std::string>{"Cannot start '" + missing + "': No such file or directory"});
    EXPECT_TRUE(guideShowsArd());
}

TEST_F(UnattendedUpdate, UpdateFollowedByConvertSwitchRunsTheUpdaterOnce) {
    // Only the first two characters count: "/U /W" is one update run.
    app.WriteIni(
        database,
        Updater("echo run >> \"" + (work / "runs") + "\"\ncp \"" + (work / "fresh.mdb") + "\" \"" + database + "\""),
        work.path().string());
    const RunResult run = app.Run({"/U", "/W"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(ReadFile(work / "runs"), "run\n");
    EXPECT_TRUE(guideShowsArd());
}
