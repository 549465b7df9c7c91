// The main window in the real program (brevan_driven: the program with a
// user's steps added, tests/driven/): closed by its title-bar button while an
// update run waits for the updater.
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace testsupport;

TEST(MainWindowClosedDuringAnUpdate, TheRunEndsItsWorkAndTheProcessEndsWithItsLastWindow) {
    const Installation app(BREVAN_DRIVEN_EXE);
    const TempFolder work;
    WriteListingDb(work / "fresh.mdb", {Listing("ARD", FutureDay(), jet4::TimeOfDay(20, 0, 0), "Erste", "", "")});
    const std::string updater = work / "tvupdate";
    WriteFile(updater, "#!/bin/sh\nsleep 1\ncp \"" + (work / "fresh.mdb") + "\" \"" + (work / "tvdaten.mdb") + "\"\n");
    fs::permissions(updater, fs::perms(0755));
    app.WriteIni(work / "tvdaten.mdb", updater, work.path().string());

    const RunResult run = app.Run({}, 120, {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(run.status, 0) << run.errors;
    // The updater was waited for and the conversion saved; the settings
    // window, which has no owner, outlived the main window.
    EXPECT_NE(ReadFile(work / "tvdata.xml").find("<channel id=\"ARD\">"), std::string::npos);
    EXPECT_EQ(run.output, "main window closed after the run\nsettings window open after the run\n");
    EXPECT_TRUE(run.messages().empty()) << run.errors;
}
