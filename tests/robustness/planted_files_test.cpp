// Files and programs that another user of the machine could put in Brevan's
// way: the settings it reads and the reader it runs, through the real
// executable run as root and as an ordinary user.
#include "support/run_brevan.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class PlantedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root, to run as another user and to own files as one";
    }
    // The settings file that `--help` of `exe` names, run with `prefix` (a
    // command such as setpriv) before it and `environment` set.
    static std::string SettingsOf(const std::vector<std::string>& prefix, const std::string& exe,
                                  const std::vector<std::string>& environment = {}) {
        std::vector<std::string> argv = prefix;
        argv.insert(argv.end(), {exe, "--help"});
        const RunResult run = RunProgram(argv, 60, environment);
        EXPECT_EQ(run.status, 0) << run.errors;
        const std::size_t at = run.output.find("Settings: ");
        return at == std::string::npos ? "" : run.output.substr(at + 10, run.output.find('\n', at) - at - 10);
    }
    const std::vector<std::string> asNobody{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    TempFolder work;
    std::string config = work / "config";
};

}  // namespace

TEST_F(PlantedFiles, SettingsLieBesideOnlyACopyInTheUsersOwnFolder) {
    // A copy in a system folder: root's settings are root's own, not a file
    // beside the program that every user would then read.
    if (fs::is_directory("/opt")) {
        const TempFolder system("/opt");
        fs::copy_file(BREVAN_EXE, system / "brevan");
        WriteFile(system / "brevan.ini", "[Default]\n");
        EXPECT_EQ(SettingsOf({}, system / "brevan", {"XDG_CONFIG_HOME=" + config}), config + "/brevan/brevan.ini");
    }

    // Root's copy, run by another user: that user's own settings, from the
    // password database when the environment is empty (cron, a service).
    Installation app;
    fs::permissions(app.folder().path(), fs::perms(0755));
    fs::permissions(app.exe(), fs::perms(0755));
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    std::vector<std::string> emptyEnvironment = asNobody;
    emptyEnvironment.insert(emptyEnvironment.end(), {"env", "-i"});
    EXPECT_EQ(SettingsOf(emptyEnvironment, app.exe()), std::string(nobody->pw_dir) + "/.config/brevan/brevan.ini");
    for (const char* home : {"HOME=", "HOME=relative"})
        EXPECT_EQ(SettingsOf(asNobody, app.exe(), {home, "XDG_CONFIG_HOME="}),
                  std::string(nobody->pw_dir) + "/.config/brevan/brevan.ini");

    // The user's own copy keeps its settings beside it.
    ASSERT_EQ(::chown(app.folder().path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    EXPECT_EQ(SettingsOf(asNobody, app.exe(), {"XDG_CONFIG_HOME=" + config}), app.iniPath());
}

TEST_F(PlantedFiles, AReaderOthersCouldHaveChangedIsNotRun) {
    Installation app;
    const std::string reader = app.folder() / "brevan-reader";
    app.WriteIni(work / "tvdaten.mdb", "", work.path().string());
    struct Case {
        const char* what;
        fs::perms mode;
        uid_t owner;
        std::string says;
    };
    for (const Case& c : {Case{"writable by its group", fs::perms(0775), 0, "users other than its owner may change it"},
                          Case{"writable by all", fs::perms(0757), 0, "users other than its owner may change it"},
                          Case{"another user's", fs::perms(0755), 12345, "it belongs to another user"}}) {
        fs::permissions(reader, c.mode);
        // A group without a name: no user's private group.
        ASSERT_EQ(::chown(reader.c_str(), c.owner, 12345), 0);
        const RunResult run = app.Run({"/W"});
        EXPECT_EQ(run.status, 1) << c.what;
        ASSERT_EQ(run.messages().size(), 1u) << c.what << ": " << run.errors;
        EXPECT_EQ(run.messages()[0].find("Brevan does not run " + reader + ": " + c.says), 0u) << run.messages()[0];
        EXPECT_FALSE(fs::exists(work / "tvdata.xml"));
    }
    // Writable by the owner's private group (a build under umask 002): no one
    // else can change it, and it runs.
    ASSERT_EQ(RunProgram({BREVAN_MDBWRITE_EXE, work / "tvdaten.mdb", "--sample", "--first-day", "2099-06-01"}).status,
              0);
    fs::permissions(reader, fs::perms(0775));
    ASSERT_EQ(::chown(reader.c_str(), 0, 0), 0);  // root's own group, as Debian makes it
    const RunResult run = app.Run({"/W"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(fs::exists(work / "tvdata.xml"));
}
