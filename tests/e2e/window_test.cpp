// The main window in the real program (brevan_driven: the program with a
// user's steps added, tests/driven/): closed by its title-bar button while an
// update run waits for the updater.
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class MainWindowClosedDuringAnUpdate : public ::testing::Test {
protected:
    // An updater that takes a moment and then leaves a listing, or none.
    void Settings(bool leavesAListing) {
        WriteListingDb(work / "fresh.mdb", {Listing("ARD", FutureDay(), jet4::TimeOfDay(20, 0, 0), "Erste", "", "")});
        const std::string updater = work / "tvupdate";
        WriteFile(updater, "#!/bin/sh\nsleep 1\n" + std::string(leavesAListing ? "" : "exit\n") + "cp \"" +
                               (work / "fresh.mdb") + "\" \"" + database + "\"\n");
        fs::permissions(updater, fs::perms(0755));
        app.WriteIni(database, updater, work.path().string());
    }

    const Installation app{BREVAN_DRIVEN_EXE};
    const TempFolder work;
    const std::string database = work / "tvdaten.mdb";
};

TEST_F(MainWindowClosedDuringAnUpdate, TheRunEndsItsWorkAndTheProcessEndsWithItsLastWindow) {
    Settings(true);
    const RunResult run = app.Run({}, 120, {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(run.status, 0) << run.errors;
    // The updater was waited for and the conversion saved; the settings
    // window, which has no owner, outlived the main window.
    EXPECT_NE(ReadFile(work / "tvdata.xml").find("<channel id=\"ARD\">"), std::string::npos);
    EXPECT_EQ(run.output, "main window closed after the run\nsettings window open after the run\n");
    EXPECT_TRUE(run.messages().empty()) << run.errors;
}

TEST_F(MainWindowClosedDuringAnUpdate, OnAScreenTheRunsMessageIsShownBeforeTheProcessEnds) {
    // Only a real X server shows boxes; Xvfb stands in for one.
    if (RunProgram({"sh", "-c", "command -v xvfb-run"}).status != 0) GTEST_SKIP() << "xvfb-run is not installed";
    Settings(false);
    const RunResult run =
        RunProgram({"xvfb-run", "-a", app.exe()}, 120, {"QT_QPA_PLATFORM=xcb", "BREVAN_DRIVEN_SETTINGS=0"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output,
              "box: The listing database " + database +
                  " does not exist.\nmain window closed after the run\nsettings window closed after the run\n");
}

}  // namespace
