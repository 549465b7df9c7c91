// The update action with real child processes: small shell scripts stand in
// for the updater, and the real conversion follows. Today is fixed, so that a
// midnight during the run changes nothing.
#include "app/actions.h"
#include "app/settings.h"
#include "desktop/events.h"
#include "desktop/message_box.h"
#include "os/clock.h"
#include "support/listing_db.h"
#include "support/lock_holder.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using brevan::AppSettings;
using brevan::UpdateAndCreateXmltv;
using testsupport::Listing;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;
using testsupport::WriteListingDb;

namespace {

class UpdateAndCreate : public ::testing::Test {
protected:
    void SetUp() override {
        brevan::SetTodaySource([] { return brevan::CivilDate{2024, 5, 1}; });
        brevan::SetMessageSink([this](const std::string& text) { messages.push_back(text); });
        AppSettings = {};
        AppSettings.DatabasePath = folder / "tvdaten.mdb";
        AppSettings.OutputFolder = folder.path().string();
        WriteGuideDb(AppSettings.DatabasePath, "ARD");
    }
    void TearDown() override {
        brevan::SetMessageSink({});
        brevan::SetDoEventsHook({});
        brevan::SetTodaySource({});
    }

    // A listing database with one channel on the fixed today, named so a
    // guide shows which database it came from.
    static void WriteGuideDb(const std::string& path, const char* channel) {
        WriteListingDb(path, {Listing(channel, jet4::Date(2024, 5, 1), jet4::TimeOfDay(20, 0, 0), "Erste", "", ""),
                              Listing(channel, jet4::Date(2024, 5, 1), jet4::TimeOfDay(21, 0, 0), "Zweite", "", "")});
    }

    std::string Script(const std::string& name, const std::string& body, fs::perms perms = fs::perms(0755)) const {
        const std::string path = folder / name;
        WriteFile(path, "#!/bin/sh\n" + body + "\n");
        fs::permissions(path, perms);
        return path;
    }

    std::string guidePath() const { return folder / "tvdata.xml"; }
    bool converted() const { return fs::exists(guidePath()); }
    bool guideShows(const std::string& channel) const {
        return ReadFile(guidePath()).find("<channel id=\"" + channel + "\">") != std::string::npos;
    }

    TempFolder folder;
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(UpdateAndCreate, AnUpdaterThatEndsAtOnceIsFollowedByTheConversion) {
    AppSettings.UpdaterPath = Script("tvupdate", "exit 0");
    int pumps = 0;
    brevan::SetDoEventsHook([&] { ++pumps; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(UpdateAndCreateXmltv());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_GE(pumps, 1);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_TRUE(guideShows("ARD"));
}

TEST_F(UpdateAndCreate, TheConversionReadsWhatTheUpdaterWrote) {
    WriteGuideDb(folder / "fresh.mdb", "ZDF");
    AppSettings.UpdaterPath =
        Script("tvupdate", "sleep 0.3\ncp \"$(dirname \"$0\")/fresh.mdb\" \"$(dirname \"$0\")/tvdaten.mdb\"");
    UpdateAndCreateXmltv();
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_TRUE(guideShows("ZDF"));
    EXPECT_FALSE(guideShows("ARD"));
}

TEST_F(UpdateAndCreate, TheUpdatersExitCodeIsIgnored) {
    AppSettings.UpdaterPath = Script("tvupdate", "exit 3");
    UpdateAndCreateXmltv();
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_TRUE(guideShows("ARD"));
}

TEST_F(UpdateAndCreate, AnUpdaterThatCannotStartShowsOneMessageAndTheConversionRuns) {
    // Why a start fails, and its message, is the wait's (tests/update); here
    // what the action does after it.
    const std::string missing = folder / "no-such-tvupdate";
    AppSettings.UpdaterPath = missing;
    EXPECT_FALSE(UpdateAndCreateXmltv());  // the conversion ran, the update did not
    EXPECT_EQ(messages, std::vector<std::string>{"Cannot start '" + missing + "': No such file or directory"});
    EXPECT_TRUE(guideShows("ARD"));
}

TEST_F(UpdateAndCreate, AFailingConversionAfterTheUpdateReportsItself) {
    AppSettings.UpdaterPath = Script("tvupdate", "exit 0");
    AppSettings.DatabasePath = folder / "missing.mdb";
    EXPECT_FALSE(UpdateAndCreateXmltv());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("missing.mdb"), std::string::npos) << messages[0];
    EXPECT_FALSE(converted());
}

TEST_F(UpdateAndCreate, TheRunKeepsTheFoldersTurnFromBeforeTheUpdaterUntilItsGuideIsSaved) {
    // A conversion started from the window events during the wait would read
    // a database the updater is still writing: it is refused at once (the
    // turn is this process's own, so waiting would wait for itself).
    WriteGuideDb(folder / "fresh.mdb", "ZDF");
    AppSettings.UpdaterPath = Script("tvupdate",
                                     "sleep 0.5\n"
                                     "cp \"$(dirname \"$0\")/fresh.mdb\" \"$(dirname \"$0\")/tvdaten.mdb\"\n"
                                     "touch \"$(dirname \"$0\")/updated\"");
    bool nestedRan = false;
    bool nestedConverted = true;
    bool updaterStillRunning = false;
    brevan::SetDoEventsHook([&] {
        if (nestedRan) return;
        nestedRan = true;  // as if the convert button were pressed during the wait
        nestedConverted = brevan::CreateXmltvFile();
        updaterStillRunning = !fs::exists(folder / "updated");
    });
    EXPECT_TRUE(UpdateAndCreateXmltv());
    EXPECT_TRUE(nestedRan);
    EXPECT_FALSE(nestedConverted);
    EXPECT_TRUE(updaterStillRunning);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("An update run of this program is using the output folder " + folder.path().string() +
                               " (its lock file " + (folder / ".tvdata.xml.lock") + ")"),
              std::string::npos)
        << messages[0];
    EXPECT_TRUE(guideShows("ZDF"));  // the run's own conversion came after the update
}

TEST_F(UpdateAndCreate, TheWindowsEventsRunWhileAnotherRunHasTheFolder) {
    // The first event ends the other run, as a click elsewhere might: the
    // wait ran the events, and then took its turn.
    testsupport::LockHolder other(folder / ".tvdata.xml.lock");
    ASSERT_TRUE(other.held());
    int pumps = 0;
    brevan::SetDoEventsHook([&] {
        if (++pumps == 1) other.Release();
    });
    EXPECT_TRUE(brevan::CreateXmltvFile());
    EXPECT_GE(pumps, 1);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_TRUE(guideShows("ARD"));
}
