// Windows paths from the settings, resolved in a scratch Wine prefix laid out
// as Wine lays one out: dosdevices/c: -> ../drive_c, dosdevices/z: -> /.
#include "os/wine_path.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using brevan::ReadWineEnvironment;
using brevan::ResolvedPath;
using brevan::ResolveSettingPath;
using brevan::WineEnvironment;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

class WinePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path c = prefix_ / "drive_c";
        fs::create_directories(c / "Programme" / "TV Daten");
        fs::create_directories(c / "Programme" / "änderung");
        fs::create_directories(c / "Guide");
        fs::create_directories(c / "GUIDE");
        fs::create_directories(c / "Straße");
        fs::create_directories(c / "caf\xe9");  // a Latin-1 name, not UTF-8
        WriteFile(c / "Programme" / "TV Daten" / "tvdaten.mdb", "db");
        ASSERT_EQ(::mkfifo((c / "Programme" / "pipe").c_str(), 0600), 0);
        fs::create_directories(prefix_ / "dosdevices");
        fs::create_directory_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
        fs::create_directory_symlink("/", prefix_ / "dosdevices" / "z:");
    }

    // The prefix-relative path as resolution spells it.
    std::string Mapped(const std::string& rest) const { return prefix_.string() + "/dosdevices/" + rest; }
    ResolvedPath Resolve(const std::string& value) const { return ResolveSettingPath(value, env_); }

    TempFolder temp_;
    fs::path prefix_ = temp_.path() / ".wine";
    WineEnvironment env_{prefix_.string(), "/nonexistent-home"};
};

}  // namespace

TEST_F(WinePathTest, DrivePathsMapIntoThePrefix) {
    const std::string db = Mapped("c:/Programme/TV Daten/tvdaten.mdb");
    const ResolvedPath r = Resolve("C:\\Programme\\TV Daten\\tvdaten.mdb");
    EXPECT_EQ(r.path, db);
    EXPECT_EQ(r.shown, "C:\\Programme\\TV Daten\\tvdaten.mdb (in the Wine prefix: " + db + ")");
    EXPECT_TRUE(r.windows);
    EXPECT_TRUE(fs::is_regular_file(r.path));

    EXPECT_EQ(Resolve("c:/Programme//TV Daten\\\\tvdaten.mdb").path, db);
    EXPECT_EQ(Resolve("C:\\Programme\\.\\..\\Programme\\TV Daten\\tvdaten.mdb\\").path, db);
    EXPECT_EQ(Resolve("C:\\..\\..\\Programme").path, Mapped("c:/Programme"));  // never above the drive
    EXPECT_EQ(Resolve("C:\\").path, Mapped("c:"));

    // Without WINEPREFIX the prefix is ~/.wine; a trailing slash on either is harmless.
    EXPECT_EQ(ResolveSettingPath("C:\\Programme", {"", temp_.path().string() + "/"}).path, Mapped("c:/Programme"));
    EXPECT_EQ(ResolveSettingPath("C:\\Programme", {prefix_.string() + "//", ""}).path, Mapped("c:/Programme"));

    // Drive Z: is the Linux root.
    std::string through = temp_.path().string();
    std::replace(through.begin(), through.end(), '/', '\\');
    const ResolvedPath z = Resolve("Z:" + through + "\\.wine\\drive_c\\Programme");
    EXPECT_EQ(z.path, Mapped("z:" + temp_.path().string() + "/.wine/drive_c/Programme"));
    EXPECT_TRUE(fs::is_directory(z.path));
}

TEST_F(WinePathTest, PartsMatchWithoutRegardToCaseAsOnWindows) {
    EXPECT_EQ(Resolve("C:\\PROGRAMME\\tv daten\\TVDATEN.MDB").path, Mapped("c:/Programme/TV Daten/tvdaten.mdb"));
    EXPECT_EQ(Resolve("C:\\Programme\\ÄNDERUNG").path, Mapped("c:/Programme/änderung"));
    EXPECT_EQ(Resolve("C:\\Guide").path, Mapped("c:/Guide"));  // the exact name first
    EXPECT_EQ(Resolve("C:\\guide").path, Mapped("c:/GUIDE"));  // else the first in byte order
    EXPECT_EQ(Resolve("C:\\STRAßE").path, Mapped("c:/Straße"));
    // One character for one, as Windows compares: ß is not "SS".
    EXPECT_EQ(Resolve("C:\\STRASSE").path, Mapped("c:/STRASSE"));
    // A name that is not UTF-8 matches only exactly.
    EXPECT_EQ(Resolve("C:\\caf\xe9").path, Mapped("c:/caf\xe9"));
    EXPECT_EQ(Resolve("C:\\CAF\xe9").path, Mapped("c:/CAF\xe9"));
}

TEST_F(WinePathTest, WhatCannotBeFoundKeepsTheRestAsWritten) {
    const ResolvedPath drive = Resolve("D:\\Daten\\tvdaten.mdb");
    EXPECT_EQ(drive.path, Mapped("d:/Daten/tvdaten.mdb"));
    EXPECT_EQ(drive.shown, "D:\\Daten\\tvdaten.mdb (in the Wine prefix: " + drive.path + ")");

    const ResolvedPath part = Resolve("C:\\programme\\Fehlt\\tv daten\\x.mdb");
    EXPECT_EQ(part.path, Mapped("c:/Programme/Fehlt/tv daten/x.mdb"));
    EXPECT_EQ(part.shown, "C:\\programme\\Fehlt\\tv daten\\x.mdb (in the Wine prefix: " + part.path + ")");

    const ResolvedPath file = Resolve("C:\\programme\\tv daten\\TVDATEN.MDB\\more");
    EXPECT_EQ(file.path, Mapped("c:/Programme/TV Daten/tvdaten.mdb/more"));
    EXPECT_EQ(file.shown, "C:\\programme\\tv daten\\TVDATEN.MDB\\more (in the Wine prefix: " + file.path + ")");

    // A FIFO is looked at, never opened.
    EXPECT_EQ(Resolve("C:\\Programme\\PIPE\\x").path, Mapped("c:/Programme/pipe/x"));

    const std::string missing = (temp_.path() / "none").string();
    EXPECT_EQ(ResolveSettingPath("C:\\x", {missing, ""}).path, missing + "/dosdevices/c:/x");

    const ResolvedPath none = ResolveSettingPath("C:\\x", {"", ""});
    EXPECT_EQ(none.path, "C:\\x");
    EXPECT_EQ(none.shown, "C:\\x (no Wine prefix: neither WINEPREFIX nor HOME is set)");
    EXPECT_TRUE(none.windows);
    EXPECT_EQ(ResolveSettingPath("C:\\x", {"rel/.wine", "/home/u"}).shown,
              "C:\\x (no Wine prefix: WINEPREFIX is not an absolute path)");
}

TEST_F(WinePathTest, OtherValuesStandExactlyAsWritten) {
    for (const std::string value :
         {"C:", "CC:\\x", "1:\\x", ":\\x", "C:x", "/abs/x", "rel/x", "rel\\x", "\\\\server\\share", "", " C:\\x"}) {
        const ResolvedPath r = Resolve(value);
        EXPECT_EQ(r.path, value);
        EXPECT_EQ(r.shown, value);
        EXPECT_FALSE(r.windows) << value;
    }
}

TEST(WineEnvironment, ReadsThePrefixAndTheHomeFolder) {
    const char* savedHome = std::getenv("HOME");
    const char* savedPrefix = std::getenv("WINEPREFIX");
    const std::string home = savedHome ? savedHome : "";
    const std::string prefix = savedPrefix ? savedPrefix : "";
    ::setenv("WINEPREFIX", "/srv/wine", 1);
    ::setenv("HOME", "/home/tv", 1);
    EXPECT_EQ(ReadWineEnvironment().winePrefix, "/srv/wine");
    EXPECT_EQ(ReadWineEnvironment().home, "/home/tv");
    // Without HOME the password database still knows the home folder.
    ::unsetenv("WINEPREFIX");
    ::unsetenv("HOME");
    const WineEnvironment env = ReadWineEnvironment();
    EXPECT_EQ(env.winePrefix, "");
    EXPECT_FALSE(env.home.empty());
    if (savedHome) ::setenv("HOME", home.c_str(), 1);
    if (savedPrefix) ::setenv("WINEPREFIX", prefix.c_str(), 1);
}
