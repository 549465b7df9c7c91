// Unattended runs on real storage and in odd process states: the real
// executable, started as schedulers and wrapper scripts start it.
#include "guide_check.h"
#include "restricted_run.h"
#include "sample_run.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using namespace testsupport;
using namespace std::chrono_literals;

namespace {

class UnattendedRun : public robustness::SampleRun {
protected:
    static void SetUpTestSuite() { MakeSample("--channels 3 --days 2 --past-days 0"); }
    static void TearDownTestSuite() { DropSample(); }
    // Runs the installed copy through the shell, for what only a shell line says.
    RunResult Shell(const std::string& line, const std::vector<std::string>& environment = {}) const {
        return RunProgram({"/bin/sh", "-c", line}, 120, environment);
    }
    bool Converted() const { return fs::exists(guide) && robustness::GuideProblems(guide).empty(); }
};

}  // namespace

TEST_F(UnattendedRun, ClosedStandardStreamsDoNotStopTheRun) {
    // Started with standard output and error closed, the reader's pipes
    // would take their numbers.
    const RunResult run = Shell("exec 1>&- 2>&-; exec '" + app.exe() + "' /W");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Converted());
}

TEST_F(UnattendedRun, ADatabaseThatIsTheGuideItselfIsRefused) {
    const std::string inFolder = folder + "/tvdata.xml";
    fs::copy_file(database, inFolder);
    const std::string before = ReadFile(inFolder);
    app.WriteIni(inFolder, "", folder);
    const RunResult run = app.Run({"/W"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find("is the guide file"), std::string::npos) << run.messages()[0];
    EXPECT_EQ(ReadFile(inFolder), before);  // the database is untouched
    EXPECT_EQ(robustness::OtherFiles(folder), std::vector<std::string>{});
}

TEST_F(UnattendedRun, AMissingFolderStopsTheRunBeforeTheDatabaseIsRead) {
    // The database is missing too: the folder's message shows that the run
    // stopped before it looked at the database.
    app.WriteIni(work / "missing.mdb", "", work / "no-such-folder");
    const RunResult run = app.Run({"/W"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find("Cannot write the guide file " + (work / "no-such-folder") + "/tvdata.xml"),
              std::string::npos)
        << run.messages()[0];
}

TEST_F(UnattendedRun, TheNewGuideKeepsTheOldOnesOwnerAndModeButNoSpecialBits) {
    if (::geteuid() != 0) GTEST_SKIP() << "changing a file's owner needs root";
    WriteFile(guide, "older");
    ASSERT_EQ(::chown(guide.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(guide.c_str(), 06640), 0);
    ASSERT_EQ(app.Run({"/W"}).status, 0);
    struct stat st {};
    ASSERT_EQ(::lstat(guide.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link in the guide's place passes nothing on: not a set-user-ID mode.
    const std::string setuid = work / "setuid-file";
    WriteFile(setuid, "x");
    ASSERT_EQ(::chmod(setuid.c_str(), 04755), 0);
    fs::remove(guide);
    fs::create_symlink(setuid, guide);
    ASSERT_EQ(app.Run({"/W"}).status, 0);
    ASSERT_EQ(::lstat(guide.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07000, 0u);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(ReadFile(setuid), "x");
}

TEST_F(UnattendedRun, WithoutProcTheProgramFindsItselfThroughItsCommand) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's runtime needs /proc to find the stacks";
#endif
    if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs a mount namespace of its own (unshare -m, as root)";
    const std::string noProc = "unshare -m sh -c 'umount -l /proc && exec \"$0\" \"$@\"' ";
    RunResult run = Shell(noProc + "'" + app.exe() + "' /W");
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(Converted());
    run = Shell(noProc + "'" + app.exe() + "' --help");
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.output.find(app.iniPath() + " (found through the command, /proc is not mounted)"), std::string::npos)
        << run.output;
    // A bare name is found on PATH as the shell found it.
    run = Shell(noProc + "brevan /W", {"PATH=" + app.folder().path().string() + ":/usr/bin:/bin"});
    EXPECT_EQ(run.status, 0) << run.errors;
    // A link to the program, by its path or on PATH, leads to the program's
    // own settings, as /proc/self/exe would.
    const std::string links = work / "links";
    fs::create_directory(links);
    fs::create_symlink(app.exe(), links + "/brevan");
    for (const std::string& command : {links + "/brevan", std::string("brevan")}) {
        run = Shell(noProc + command + " --help", {"PATH=" + links + ":/usr/bin:/bin"});
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_NE(run.output.find("Settings: " + app.iniPath() + " "), std::string::npos) << command << run.output;
    }
}

TEST_F(UnattendedRun, OutOfDescriptorsSaysSo) {
    // From too few to load the libraries up to enough: each limit converts or
    // names the shortage, whichever step runs out first.
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers' runtime tests memory through a pipe of its own, which
    // 4 descriptors leave no room for.
    constexpr int kFewest = 5;
#else
    constexpr int kFewest = 4;
#endif
    for (int limit = kFewest; limit <= 16; ++limit) {
        robustness::Restrictions restricted;
        restricted.maxDescriptors = limit;
        const RunResult run = robustness::RunRestricted(app, {"/W"}, restricted);
        if (run.status == 0) {
            EXPECT_TRUE(Converted()) << limit;
            continue;
        }
        EXPECT_EQ(run.status, 1) << limit << ": " << run.errors;
        ASSERT_EQ(run.messages().size(), 1u) << limit << ": " << run.errors;
        EXPECT_NE(run.messages()[0].find("Too many open files"), std::string::npos)
            << limit << ": " << run.messages()[0];
        EXPECT_FALSE(fs::exists(guide)) << limit;
    }
    EXPECT_TRUE(Converted()) << "16 descriptors are enough";
}
