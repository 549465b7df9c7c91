// Beside the guide product under Wine, through the real executable: a
// Windows updater started through a stand-in wine, and Windows paths in the
// settings found in a scratch Wine prefix.
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class WineTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(prefix / "drive_c/Programme/TV Guide");
        fs::create_directories(prefix / "drive_c/HTPC/Guide");
        fs::create_directories(prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
        fs::create_directory_symlink("/", prefix / "dosdevices/z:");
        database = prefix / "drive_c/Programme/TV Guide/tvdaten.mdb";
        WriteListingDb(database, {Listing("ARD", FutureDay(), jet4::TimeOfDay(20, 0, 0), "Erste", "", ""),
                                  Listing("ARD", FutureDay(), jet4::TimeOfDay(21, 0, 0), "Zweite", "", "")});
        guide = prefix / "drive_c/HTPC/Guide/tvdata.xml";
        // A "Windows program": Linux cannot execute it, its first bytes say
        // MZ, and it has no execute bit, as Wine's installer leaves it.
        updater = prefix / "drive_c/Programme/TV Guide/update.exe";
        WriteFile(updater, "MZ\x90\x00 not really a program");
        fs::permissions(updater, fs::perms(0644));
        // The stand-in wine, on a PATH of its own.
        fs::create_directory(bin.path() / "path");
        fs::copy_file(std::string(BREVAN_SOURCE_DIR) + "/tests/support/fake-wine", bin / "path/wine");
        fs::permissions(bin / "path/wine", fs::perms(0755));
    }
    std::vector<std::string> Environment(const std::string& path, const std::vector<std::string>& more = {}) const {
        std::vector<std::string> environment{"WINEPREFIX=" + prefix.string(), "PATH=" + path,
                                             "FAKE_WINE_LOG=" + (bin / "wine.log")};
        environment.insert(environment.end(), more.begin(), more.end());
        return environment;
    }
    std::string WithWine() const { return (bin / "path") + ":/usr/bin:/bin"; }

    TempFolder work;
    TempFolder bin;
    fs::path prefix = work.path() / "wineprefix";
    Installation app;
    std::string database, guide, updater;
};

}  // namespace

TEST_F(WineTest, WindowsPathsInTheSettingsAreFoundInThePrefix) {
    // As copied from the Windows machine, in the wrong case, and with slashes.
    app.WriteIni("C:\\PROGRAMME\\tv guide\\TVDATEN.MDB", "", "c:/htpc/guide");
    RunResult run = app.Run({"/W"}, 60, Environment("/usr/bin:/bin"));
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(ReadFile(guide).find("<channel id=\"ARD\">"), std::string::npos);
    EXPECT_NE(ReadFile(app.iniPath()).find("C:\\PROGRAMME\\tv guide\\TVDATEN.MDB"), std::string::npos)
        << "the INI file keeps what was written";

    // Z: is the Linux root in a normal prefix.
    fs::remove(guide);
    app.WriteIni("Z:" + database, "", "c:\\HTPC\\Guide");
    run = app.Run({"/W"}, 60, Environment("/usr/bin:/bin"));
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(fs::exists(guide));

    // What cannot be found is quoted both ways, in the usual message.
    struct Case {
        std::string database;
        std::string says;
    };
    WriteFile(prefix / "drive_c/Programme/plain", "a file");
    for (const Case& c :
         {Case{"D:\\tvdaten.mdb", "does not exist"}, Case{"C:\\Programme\\Missing\\tvdaten.mdb", "does not exist"},
          Case{"C:\\Programme\\plain\\tvdaten.mdb", "does not exist"}}) {
        app.WriteIni(c.database, "", "C:\\HTPC\\Guide");
        run = app.Run({"/W"}, 60, Environment("/usr/bin:/bin"));
        EXPECT_EQ(run.status, 1) << c.database;
        ASSERT_EQ(run.messages().size(), 1u) << run.errors;
        EXPECT_NE(run.messages()[0].find(c.database + " (in the Wine prefix: " + prefix.string()), std::string::npos)
            << run.messages()[0];
        EXPECT_NE(run.messages()[0].find(c.says), std::string::npos) << run.messages()[0];
    }
    // Values without a drive letter are used exactly as written.
    for (const std::string& value : {std::string("C:"), std::string("CC:\\x")}) {
        app.WriteIni(value, "", "C:\\HTPC\\Guide");
        run = app.Run({"/W"}, 60, Environment("/usr/bin:/bin"));
        ASSERT_EQ(run.messages().size(), 1u) << run.errors;
        EXPECT_NE(run.messages()[0].find("The listing database " + value + " does not exist."), std::string::npos)
            << run.messages()[0];
    }
}

TEST_F(WineTest, AWindowsUpdaterRunsThroughWine) {
    app.WriteIni("C:\\Programme\\TV Guide\\tvdaten.mdb", "C:\\Programme\\TV Guide\\update.exe", "C:\\HTPC\\Guide");
    RunResult run = app.Run({"/U"}, 60, Environment(WithWine()));
    EXPECT_EQ(run.status, 0) << run.errors;
    // Its one argument is the updater as found in the prefix; Wine is quiet.
    const std::string found = (prefix / "dosdevices/c:/Programme/TV Guide/update.exe").string();
    EXPECT_EQ(ReadFile(bin / "wine.log"), found + "\nWINEDEBUG=-all\n");
    EXPECT_TRUE(fs::exists(guide));

    // A WINEDEBUG of the user's own stays; $WINE wins over PATH.
    fs::copy_file(bin / "path/wine", bin / "other-wine");
    run = app.Run({"/U"}, 60,
                  Environment(WithWine(), {"WINEDEBUG=+relay", "WINE=" + (bin / "other-wine"),
                                           "FAKE_WINE_LOG=" + (bin / "other.log")}));
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(ReadFile(bin / "other.log"), found + "\nWINEDEBUG=+relay\n");
}

TEST_F(WineTest, WithoutWineOneMessageThenTheConversion) {
    app.WriteIni(database, updater, prefix / "drive_c/HTPC/Guide");
    RunResult run = app.Run({"/U"}, 60, Environment("/usr/bin:/bin"));
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find(updater), std::string::npos) << run.messages()[0];
    EXPECT_NE(run.messages()[0].find("Wine is needed"), std::string::npos) << run.messages()[0];
    EXPECT_TRUE(fs::exists(guide)) << "the conversion runs after an updater that cannot start";

    // A file Linux cannot execute that is no Windows program gets the usual
    // message, not Wine's.
    const std::string text = bin / "not-a-program";
    WriteFile(text, "just text\n");
    fs::permissions(text, fs::perms(0755));
    app.WriteIni(database, text, prefix / "drive_c/HTPC/Guide");
    run = app.Run({"/U"}, 60, Environment(WithWine()));
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_EQ(run.messages()[0], "Cannot start '" + text + "': Exec format error");
    EXPECT_FALSE(fs::exists(bin / "wine.log"));
}

TEST_F(WineTest, APrefixOfAnotherUserIsRefusedAsWineRefusesIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give the prefix to another user";
    // Its "updater" is a Linux program that would run as us.
    const std::string marker = work / "updater-ran";
    WriteFile(prefix / "drive_c/update.sh", "#!/bin/sh\ntouch '" + marker + "'\n");
    fs::permissions(prefix / "drive_c/update.sh", fs::perms(0755));
    ASSERT_EQ(::chown(prefix.c_str(), 12345, 12345), 0);
    app.WriteIni("C:\\Programme\\TV Guide\\tvdaten.mdb", "C:\\update.sh", "C:\\HTPC\\Guide");

    const RunResult run = app.Run({"/U"}, 60, Environment(WithWine()));
    EXPECT_EQ(run.status, 1);
    // One message, for the database: a run that cannot convert starts no updater.
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_EQ(run.messages()[0], "Brevan does not look for C:\\Programme\\TV Guide\\tvdaten.mdb in the Wine prefix " +
                                     prefix.string() +
                                     ": it belongs to another user (user ID 12345), and Wine refuses such a prefix too.");
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_FALSE(fs::exists(guide));
}
