// `cmake --install` into a scratch prefix: the files, the installed program
// converting, and the data files as their own tools judge them.
#include "install_layout.h"

#include "support/run_brevan.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using installtest::ExpectedFiles;
using installtest::FilesBelow;
using installtest::FindProgram;
using installtest::InstallInto;
using installtest::LineValue;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::RunResult;
using testsupport::TempFolder;

namespace {

TEST(InstallTree, PutsEachFileInItsPlaceAndNothingElse) {
    const TempFolder prefix;
    ASSERT_TRUE(InstallInto(prefix.path()));
    EXPECT_EQ(FilesBelow(prefix.path()), ExpectedFiles());

    const fs::perms exec = fs::status(prefix / "bin/brevan").permissions();
    EXPECT_NE(exec & fs::perms::others_exec, fs::perms::none);
    // gzip's magic number: the man page is installed compressed.
    EXPECT_EQ(ReadFile(prefix / "share/man/man1/brevan.1.gz").substr(0, 2), "\x1f\x8b");
    // The service names the program where this install put it.
    EXPECT_EQ(LineValue(ReadFile(prefix / "lib/systemd/user/brevan-update.service"), "ExecStart"),
              (prefix / "bin/brevan") + " /U");
}

TEST(InstallTree, InstalledProgramRunsOnlyTheReaderInstalledWhereTheBuildPutIt) {
    const TempFolder prefix, work;
    ASSERT_TRUE(InstallInto(prefix.path()));
    const std::string fixed = std::string(BREVAN_LIBEXEC_DIR) + "/";
    if (fs::exists(fixed)) GTEST_SKIP() << "a brevan is installed at " << fixed;
    const RunResult made = RunProgram({BREVAN_MDBWRITE_EXE, work / "tvdaten.mdb", "--sample"});
    ASSERT_EQ(made.status, 0) << made.errors;
    testsupport::WriteFile(prefix / "bin/brevan.ini", "[Default]\nTVMovieTvDataPath=" + (work / "tvdaten.mdb") +
                                                          "\nTVMovieUpdatePath=\nmyHTPCPath=" + work.path().string() +
                                                          "\n");

    // A copy in another prefix has no reader or folder helper of its own: those
    // of this build's prefix are missing, and the one below the copy's folder, which
    // whoever may write there could have put there, is never run. An empty
    // configuration home keeps the settings of the user running the tests
    // out, and shows that the INI file beside the copy is read.
    const RunResult run = RunProgram({prefix / "bin/brevan", "/W"}, 120, {"XDG_CONFIG_HOME=" + (work / "config")});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find(" " + fixed + "brevan-"), std::string::npos) << run.messages()[0];
    EXPECT_NE(run.messages()[0].find(" cannot be started: No such file"), std::string::npos) << run.messages()[0];

    // The grabber keeps to the same rule, and its standard output stays empty.
    const RunResult grabbed = RunProgram({prefix / "bin/tv_grab_de_brevan"}, 120,
                                         {"XDG_CONFIG_HOME=" + (work / "config"), "HOME=" + (work / "home")});
    EXPECT_EQ(grabbed.status, 1);
    EXPECT_EQ(grabbed.output, "");
    EXPECT_NE(grabbed.errors.find(" " + fixed + "brevan-"), std::string::npos) << grabbed.errors;
}

TEST(InstallTree, DesktopEntryIsValidAndNamesTheInstalledProgramAndIcon) {
    if (FindProgram("desktop-file-validate").empty())
        GTEST_SKIP() << "desktop-file-validate is not installed (Debian package desktop-file-utils)";
    const TempFolder prefix;
    ASSERT_TRUE(InstallInto(prefix.path()));
    const std::string entry = prefix / "share/applications/brevan.desktop";

    const RunResult check = RunProgram({"desktop-file-validate", entry});
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.output + check.errors, "");

    const std::string text = ReadFile(entry);
    EXPECT_TRUE(fs::exists(prefix / ("bin/" + LineValue(text, "Exec"))));
    // Sharp in menus and launchers at every size, HiDPI included.
    const std::string icon = LineValue(text, "Icon");
    for (const char* size : {"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"})
        EXPECT_TRUE(fs::exists(prefix.path() / "share/icons/hicolor" / size / "apps" / (icon + ".png"))) << size;
    EXPECT_TRUE(fs::exists(prefix.path() / "share/icons/hicolor/scalable/apps" / (icon + ".svg")));
}

TEST(InstallTree, UserUnitsPassSystemdVerification) {
    if (FindProgram("systemd-analyze").empty())
        GTEST_SKIP() << "systemd-analyze is not installed (Debian package systemd), the units are not verified";
    const TempFolder prefix, runtime;
    ASSERT_TRUE(InstallInto(prefix.path()));
    const std::string units = prefix / "lib/systemd/user";

    // A user manager needs a runtime folder; MANPATH lets the check find the
    // installed page that the units' Documentation= names.
    const RunResult check = RunProgram(
        {"systemd-analyze", "--user", "verify", units + "/brevan-update.service", units + "/brevan-update.timer"}, 120,
        {"XDG_RUNTIME_DIR=" + runtime.path().string(), "MANPATH=" + (prefix / "share/man")});
    EXPECT_EQ(check.status, 0);
    // Unknown keys are only warned about, with status 0.
    EXPECT_EQ(check.output + check.errors, "");
    const std::string timer = ReadFile(units + "/brevan-update.timer");
    EXPECT_EQ(LineValue(timer, "Persistent"), "true");
}

TEST(InstallTree, ManPageRendersWithoutWarnings) {
    if (FindProgram("man").empty()) GTEST_SKIP() << "man is not installed (Debian package man-db)";
    const TempFolder prefix;
    ASSERT_TRUE(InstallInto(prefix.path()));
    const std::string page = prefix / "share/man/man1/brevan.1.gz";
    const RunResult grabberPage = RunProgram(
        {"man", "--warnings=w", "-l", prefix / "share/man/man1/tv_grab_de_brevan.1.gz"}, 120, {"MANWIDTH=80"});
    EXPECT_EQ(grabberPage.status, 0);
    EXPECT_EQ(grabberPage.errors, "");

    // --warnings=w turns on all of groff's warnings (-ww).
    const RunResult shown = RunProgram({"man", "--warnings=w", "-l", page}, 120, {"MANWIDTH=80"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.errors, "");
    for (const char* section : {"SYNOPSIS", "OPTIONS", "EXIT STATUS", "SETTINGS", "FILES", "EXAMPLES"})
        EXPECT_NE(shown.output.find(std::string("\n") + section + "\n"), std::string::npos) << section;

    // whatis and apropos read the NAME line through lexgrog.
    if (!FindProgram("lexgrog").empty()) {
        const RunResult name = RunProgram({"lexgrog", page});
        EXPECT_EQ(name.status, 0);
        EXPECT_NE(name.output.find("\"brevan - "), std::string::npos) << name.output;
    }
}

}  // namespace
