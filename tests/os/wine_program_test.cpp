// Windows programs: the MZ mark on real files, finding Wine on a real PATH,
// the child's environment, and the stand-in wine the end-to-end tests use.
#include "os/wine_program.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using brevan::FindWine;
using brevan::IsWindowsExecutable;
using brevan::WineChildEnvironment;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

std::string Program(const fs::path& path, fs::perms perms = fs::perms(0755)) {
    fs::create_directories(path.parent_path());
    WriteFile(path, "#!/bin/sh\nexit 0\n");
    fs::permissions(path, perms);
    return path.string();
}

}  // namespace

TEST(WindowsExecutable, OnlyARegularFileThatStartsWithMZ) {
    TempFolder dir;
    WriteFile(dir / "update.exe", std::string("MZ\x90\0\3\0\0\0", 8) + "This program cannot be run in DOS mode.");
    WriteFile(dir / "two.exe", "MZ");
    WriteFile(dir / "one", "M");
    WriteFile(dir / "empty", "");
    WriteFile(dir / "elf",
              "\x7f"
              "ELF\2\1\1");
    WriteFile(dir / "script", "#!/bin/sh\nexit 0\n");
    fs::create_symlink("update.exe", dir.path() / "link.exe");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);

    EXPECT_TRUE(IsWindowsExecutable(dir / "update.exe"));
    EXPECT_TRUE(IsWindowsExecutable(dir / "two.exe"));
    EXPECT_TRUE(IsWindowsExecutable(dir / "link.exe"));
    for (const std::string name : {"one", "empty", "elf", "script", "fifo", "missing"})
        EXPECT_FALSE(IsWindowsExecutable(dir / name)) << name;
    EXPECT_FALSE(IsWindowsExecutable(dir.path().string()));
    EXPECT_FALSE(IsWindowsExecutable("/dev/zero"));
    EXPECT_FALSE(IsWindowsExecutable(""));
}

TEST(FindWine, WineVariableFirstThenPath) {
    TempFolder dir;
    const std::string notExecutable = Program(dir.path() / "plain" / "wine", fs::perms(0644));
    fs::create_directories(dir.path() / "folder" / "wine");
    const std::string second = Program(dir.path() / "second" / "wine");
    Program(dir.path() / "third" / "wine");
    const std::string staging = Program(dir.path() / "third" / "wine-staging");
    const std::string own = Program(dir.path() / "opt" / "mywine");
    const std::string path = dir / "folder" + ":" + dir / "plain" + "::" + dir / "second/" + ":" + dir / "third";

    // Folders, files without execute permission and empty entries are passed over.
    EXPECT_EQ(FindWine("", path), second);
    EXPECT_EQ(FindWine("", dir / "plain"), "");
    EXPECT_EQ(FindWine("", ""), "");
    // $WINE with a slash is the program itself; a bare name is searched for.
    EXPECT_EQ(FindWine(own, path), own);
    EXPECT_EQ(FindWine("wine-staging", path), staging);
    // A $WINE that names nothing usable finds nothing: no other wine is tried.
    EXPECT_EQ(FindWine((dir.path() / "opt" / "missing").string(), path), "");
    EXPECT_EQ(FindWine(notExecutable, path), "");
    EXPECT_EQ(FindWine("no-such-wine", path), "");
}

TEST(WineChildEnvironment, AddsWinedebugOnlyWhenUnset) {
    using Env = std::vector<std::string>;
    EXPECT_EQ(WineChildEnvironment({"PATH=/usr/bin", "HOME=/home/tv"}),
              (Env{"PATH=/usr/bin", "HOME=/home/tv", "WINEDEBUG=-all"}));
    EXPECT_EQ(WineChildEnvironment({}), (Env{"WINEDEBUG=-all"}));
    EXPECT_EQ(WineChildEnvironment({"WINEDEBUGX=1"}), (Env{"WINEDEBUGX=1", "WINEDEBUG=-all"}));
    EXPECT_EQ(WineChildEnvironment({"A=1", "WINEDEBUG=warn+all", "B=2"}), (Env{"A=1", "WINEDEBUG=warn+all", "B=2"}));
    EXPECT_EQ(WineChildEnvironment({"WINEDEBUG="}), (Env{"WINEDEBUG="}));
}

TEST(FakeWine, RecordsItsCallAndEndsAsTold) {
    TempFolder dir;
    const std::string fake = std::string(BREVAN_SOURCE_DIR) + "/tests/support/fake-wine";
    const std::string log = dir / "log";

    int status = std::system(("FAKE_WINE_LOG='" + log + "' FAKE_WINE_STATUS=3 FAKE_WINE_SLEEP=0 WINEDEBUG= '" + fake +
                              "' 'C:\\Programme\\TV Daten\\update.exe' /quiet")
                                 .c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(ReadFile(log), "C:\\Programme\\TV Daten\\update.exe\n/quiet\nWINEDEBUG=\n");

    status = std::system(("env -u WINEDEBUG FAKE_WINE_LOG='" + log + "' '" + fake + "'").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(log), "WINEDEBUG=unset\n");
}
