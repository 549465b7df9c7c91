// Which INI file holds the settings: beside the program when it can be,
// else in the user's configuration folder.
#include "app/ini_location.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;
using brevan::IniPathFor;

namespace {

// `check` as an ordinary user when the test runs as root, who writes into
// read-only folders; true when it held.
bool AsOrdinaryUser(const std::function<bool()>& check) {
    if (::geteuid() != 0) return check();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(IniLocation, BesideTheProgramWhenItExistsOrTheFolderIsWritableElseTheConfigurationFolder) {
    testsupport::TempFolder folder;
    fs::permissions(folder.path(), fs::perms(0755));
    const std::string exe = folder / "bin/brevan";
    const std::string beside = folder / "bin/brevan.ini";
    fs::create_directories(folder / "bin");
    // A folder the user may write (the build folder, a copy at home).
    EXPECT_EQ(IniPathFor(exe, "/cfg", "/home/u"), beside);

    // An installed copy in a folder the user may not write.
    fs::permissions(folder / "bin", fs::perms(0555));
    EXPECT_TRUE(AsOrdinaryUser([&] {
        return IniPathFor(exe, "/cfg", "/home/u") == "/cfg/brevan/brevan.ini" &&
               IniPathFor(exe, "", "/home/u") == "/home/u/.config/brevan/brevan.ini" &&
               IniPathFor(exe, "relative/cfg", "/home/u") == "/home/u/.config/brevan/brevan.ini";
    }));
    // An INI beside it that exists is used, writable or not.
    fs::permissions(folder / "bin", fs::perms(0755));
    testsupport::WriteFile(beside, "[Default]\n");
    fs::permissions(folder / "bin", fs::perms(0555));
    EXPECT_TRUE(AsOrdinaryUser([&] { return IniPathFor(exe, "/cfg", "/home/u") == beside; }));
    fs::permissions(folder / "bin", fs::perms(0755));
}
