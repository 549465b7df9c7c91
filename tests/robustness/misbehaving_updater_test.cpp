// "/U" with an updater that misbehaves: it leaves a child running and closes
// its streams, dies by a signal, is killed from outside, runs for long, or
// dies halfway through writing the database. The wait ends when the updater
// ends, and the conversion follows; a half-written database is one clear
// message with the older guide intact.
//
// BREVAN_ROBUSTNESS_LONG=1 lets the long-running updater run for a minute
// instead of a few seconds.
#include "guide_check.h"
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kOlder = "<?xml version='1.0'?>\r\n<tv generator-info-name=\"older\">\r\n</tv>\r\n";

class MisbehavingUpdater : public ::testing::Test {
protected:
    void SetUp() override {
        database = work / "tvdaten.mdb";
        fresh = work / "fresh.mdb";
        guide = work / "tvdata.xml";
        WriteDb(database, "ALT");
        WriteDb(fresh, "NEU");
        WriteFile(guide, kOlder);
    }

    static void WriteDb(const std::string& path, const char* channel) {
        std::vector<ListingRow> rows;
        for (int hour = 0; hour < 24; ++hour)
            rows.push_back(Listing(channel, FutureDay(), jet4::TimeOfDay(hour, 0, 0), "Sendung", "Genre",
                                   std::string(400, 'b') + " Beschreibung."));
        WriteListingDb(path, rows);
    }

    // Installs `body` as the updater script and runs "/U".
    RunResult Update(const std::string& body, int timeoutSeconds = 120) {
        const std::string updater = work / "tvupdate";
        WriteFile(updater, "#!/bin/sh\n" + body + "\n");
        fs::permissions(updater, fs::perms(0755));
        app.WriteIni(database, updater, work.path().string());
        return app.Run({"/U"}, timeoutSeconds);
    }

    std::string CopyFresh() const { return "cp '" + fresh + "' '" + database + "'\n"; }

    bool GuideShows(const char* channel) const {
        return ReadFile(guide).find(std::string("<channel id=\"") + channel + "\">") != std::string::npos;
    }

    Installation app;
    TempFolder work;
    std::string database, fresh, guide;
};

}  // namespace

TEST_F(MisbehavingUpdater, LeavesAChildRunningWithItsStreamsClosed) {
    const auto start = Clock::now();
    const RunResult run = Update("exec 0<&- 1>&- 2>&-\n" + CopyFresh() +
                                 "sleep 60 &\n"
                                 "echo $! > '" +
                                 (work / "grandchild") +
                                 "'\n"
                                 "exit 0");
    const auto took = Clock::now() - start;
    const std::string grandchild = ReadFile(work / "grandchild");
    if (!grandchild.empty()) ::kill(std::stoi(grandchild), SIGKILL);

    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(run.messages().empty()) << run.errors;
    EXPECT_LT(took, std::chrono::seconds(30)) << "the wait lasted as long as the updater's child";
    EXPECT_TRUE(GuideShows("NEU"));
    EXPECT_EQ(robustness::GuideProblems(guide), "");
}

TEST_F(MisbehavingUpdater, DiesByASignal) {
    for (const char* signal : {"KILL", "SEGV", "TERM"}) {
        SCOPED_TRACE(signal);
        WriteFile(guide, kOlder);
        const RunResult run = Update(CopyFresh() + "kill -" + signal + " $$\nsleep 5");
        EXPECT_EQ(run.status, 0) << run.errors;  // the updater's end says nothing the conversion uses
        EXPECT_TRUE(run.messages().empty()) << run.errors;
        EXPECT_TRUE(GuideShows("NEU"));
    }
}

TEST_F(MisbehavingUpdater, IsKilledFromOutside) {
    const std::string pidFile = work / "updater.pid";
    std::thread killer([&] {
        // Kill the updater as soon as it has said who it is.
        for (int i = 0; i < 3000 && ReadFile(pidFile).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string pid = ReadFile(pidFile);
        if (!pid.empty()) ::kill(std::stoi(pid), SIGKILL);
    });
    const auto start = Clock::now();
    const RunResult run = Update("echo $$ > '" + pidFile + "'\nsleep 60");
    killer.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(GuideShows("ALT"));  // what the database held
}

TEST_F(MisbehavingUpdater, RunsForLong) {
    const bool longRun = std::getenv("BREVAN_ROBUSTNESS_LONG") != nullptr;
    const int seconds = longRun ? 60 : 3;
    const auto start = Clock::now();
    const RunResult run = Update("sleep " + std::to_string(seconds) + "\n" + CopyFresh(), seconds + 120);
    EXPECT_GE(Clock::now() - start, std::chrono::seconds(seconds));
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(GuideShows("NEU")) << "the conversion came before the update ended";
}

TEST_F(MisbehavingUpdater, DiesHalfwayThroughWritingTheDatabase) {
    // The database is left cut short, as by an updater that crashed while
    // writing it: one message, and the older guide stays.
    const std::uintmax_t half = fs::file_size(fresh) / 2;
    const RunResult run = Update("exec 1>&- 2>&-\nhead -c " + std::to_string(half) + " '" + fresh + "' > '" + database +
                                 "'\nkill -KILL $$");
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find(database), std::string::npos) << run.errors;
    EXPECT_EQ(ReadFile(guide), kOlder);
    EXPECT_EQ(robustness::OtherFiles(work.path().string()),
              (std::vector<std::string>{"fresh.mdb", "tvdaten.mdb", "tvupdate"}));
}
