// Runs into one output folder take turns through its lock file: the real
// executable, with the lock held by another process as another run (or
// `flock .tvdata.xml.lock sleep 1e9`) holds it.
#include "guide_check.h"
#include "restricted_run.h"
#include "sample_run.h"
#include "support/lock_holder.h"
#include "support/run_brevan.h"
#include "support/slow_share.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <future>

namespace fs = std::filesystem;
using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

class FolderTurn : public robustness::SampleRun {
protected:
    static void SetUpTestSuite() { MakeSample("--channels 3 --days 2 --past-days 0"); }
    static void TearDownTestSuite() { DropSample(); }

    std::string lockPath() const { return folder + "/.tvdata.xml.lock"; }
    // An updater that notes its start and end in `log`, a second apart.
    std::string LoggingUpdater(const std::string& log) const {
        const std::string path = work / "tvupdate";
        WriteFile(path, "#!/bin/sh\necho start >> '" + log + "'\nsleep 1\necho end >> '" + log + "'\n");
        fs::permissions(path, fs::perms(0755));
        return path;
    }
    // The run's only message, or a failure.
    static std::string OnlyMessage(const RunResult& run) {
        EXPECT_EQ(run.status, 1) << run.errors;
        const std::vector<std::string> messages = run.messages();
        EXPECT_EQ(messages.size(), 1u) << run.errors;
        return messages.empty() ? "" : messages[0];
    }
};

// Runs `args` on a thread of its own; `seconds` gets how long the run took.
std::future<RunResult> RunAside(const Installation& app, std::vector<std::string> args, double& seconds) {
    return std::async(std::launch::async, [&app, args, &seconds] {
        const Clock::time_point start = Clock::now();
        RunResult run = app.Run(args, 200);
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return run;
    });
}

}  // namespace

TEST_F(FolderTurn, OverlappingRunsIntoOneFolderTakeTurns) {
    LockHolder holder(lockPath());
    ASSERT_TRUE(holder.held());
    // The run's open of the lock file says that it has reached the lock.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, lockPath().c_str(), IN_OPEN), 0);
    double seconds = 0;
    std::future<RunResult> run = RunAside(app, {"/W"}, seconds);
    pollfd opened{watch, POLLIN, 0};
    EXPECT_EQ(::poll(&opened, 1, 30'000), 1) << "the run never opened the lock file";
    ::close(watch);
    EXPECT_FALSE(fs::exists(guide)) << "the run did not wait for the lock";
    EXPECT_EQ(run.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

    // A holder that dies frees the lock by itself.
    holder.Release();
    EXPECT_EQ(run.get().status, 0);
    EXPECT_TRUE(fs::exists(guide) && robustness::GuideProblems(guide).empty());
    EXPECT_TRUE(fs::exists(lockPath()));  // kept, so that no two runs lock two files
}

TEST_F(FolderTurn, ALockHeldForEverEndsEveryRunAfterTwoMinutesWithOneMessage) {
    const std::string log = work / "updater.log";
    app.WriteIni(database, LoggingUpdater(log), folder);
    WriteFile(guide, "older");
    LockHolder holder(lockPath());
    ASSERT_TRUE(holder.held());
    double convertSeconds = 0, updateSeconds = 0;
    std::future<RunResult> convert = RunAside(app, {"/W"}, convertSeconds);
    std::future<RunResult> update = RunAside(app, {"/U"}, updateSeconds);
    const std::string expected = "Another run is using the output folder " + folder + ": its lock file " + lockPath() +
                                 " stayed locked for 2 minutes.";
    for (auto* run : {&convert, &update}) {
        const std::string message = OnlyMessage(run->get());
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
    std::printf("lock held for ever: /W ended after %.1f s, /U after %.1f s\n", convertSeconds, updateSeconds);
    EXPECT_GE(convertSeconds, 120.0);
    EXPECT_GE(updateSeconds, 120.0);
    EXPECT_FALSE(fs::exists(log)) << "the update run started its updater without the folder's turn";
    EXPECT_EQ(ReadFile(guide), "older");
}

TEST_F(FolderTurn, TwoUpdateRunsRunTheirUpdatersOneAfterTheOther) {
    const std::string log = work / "updater.log";
    app.WriteIni(database, LoggingUpdater(log), folder);
    double first = 0, second = 0;
    std::future<RunResult> one = RunAside(app, {"/U"}, first);
    std::future<RunResult> two = RunAside(app, {"/U"}, second);
    EXPECT_EQ(one.get().status, 0);
    EXPECT_EQ(two.get().status, 0);
    std::printf("two /U runs at once: ended after %.1f s and %.1f s\n", first, second);
    EXPECT_EQ(ReadFile(log), "start\nend\nstart\nend\n");
    EXPECT_TRUE(robustness::GuideProblems(guide).empty());
}

TEST_F(FolderTurn, AnEmptyOutputFolderIsRefusedBeforeAnythingIsLookedAt) {
    // A missing INI key: the run must not write /tvdata.xml as root.
    const std::string log = work / "updater.log";
    app.WriteIni(work / "missing.mdb", LoggingUpdater(log), "");
    for (const char* command : {"/W", "/U"}) {
        const std::string message = OnlyMessage(app.Run({command}));
        EXPECT_EQ(message, "No output folder is set, so the guide has nowhere to go. Set \"myHTPCPath\" in " +
                               app.iniPath() + ", or choose the folder in Settings.");
    }
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(FolderTurn, ALockFileThatIsNoPlainFileOfOursIsNamedWithWhatIsWrong) {
    WriteFile(guide, "older");
    const std::string elsewhere = work / "elsewhere";
    WriteFile(elsewhere, "untouched");
    auto expectRefusal = [&](const std::string& what, const robustness::Restrictions& as = {}) {
        const std::string message = OnlyMessage(robustness::RunRestricted(app, {"/W"}, as));
        EXPECT_NE(message.find("The lock file " + lockPath() + " " + what), std::string::npos) << message;
        EXPECT_EQ(ReadFile(guide), "older");
        fs::remove(lockPath());
    };
    fs::create_symlink(elsewhere, lockPath());
    expectRefusal("is a symbolic link.");
    fs::create_directory(lockPath());
    expectRefusal("is a folder.");
    EXPECT_EQ(ReadFile(elsewhere), "untouched");
    if (::geteuid() != 0) GTEST_SKIP() << "a device node and another user need root";

    ASSERT_EQ(::mknod(lockPath().c_str(), S_IFCHR | 0666, ::makedev(5, 0)), 0);  // /dev/tty's kind
    expectRefusal("is not a regular file");
    // Root's 0600 lock file, and a run as nobody.
    WriteFile(lockPath(), "");
    fs::permissions(lockPath(), fs::perms(0600));
    for (const fs::path& p : {app.folder().path(), work.path()}) fs::permissions(p, fs::perms(0755));
    fs::permissions(app.exe(), fs::perms(0755));
    robustness::Restrictions nobody;
    nobody.uid = robustness::NobodyUid();
    nobody.gid = robustness::NobodyGid();
    // The INI file beside the copy counts only for the owner of its folder.
    ASSERT_EQ(::chown(app.folder().path().c_str(), nobody.uid, nobody.gid), 0);
    expectRefusal("belongs to another user", nobody);
}

TEST_F(FolderTurn, AnOutputShareThatStopsAnsweringEndsTheRunWithinAMinute) {
    std::string why;
    if (!SlowShare::Available(&why)) GTEST_SKIP() << why;
    // Hard-mounted shares, whose held calls cannot be interrupted, not even
    // killed: one never answers the lock file's lookup, the other the
    // guide's, which the save looks at after the lock is taken.
    const TempFolder backing;
    WriteFile(backing / "tvdata.xml", "older");
    WriteFile(backing / ".tvdata.xml.lock", "");
    SlowShare atLock(backing.path(), {.hangStat = {".tvdata.xml.lock"}, .ignoreInterrupts = true});
    SlowShare atSave(backing.path(), {.hangStat = {"tvdata.xml"}, .ignoreInterrupts = true});
    const Installation other;
    app.WriteIni(database, "", atLock.path().string());
    other.WriteIni(database, "", atSave.path().string());
    double lockSeconds = 0, saveSeconds = 0;
    std::future<RunResult> lockRun = RunAside(app, {"/W"}, lockSeconds);
    std::future<RunResult> saveRun = RunAside(other, {"/W"}, saveSeconds);
    const std::string lockMessage = OnlyMessage(lockRun.get());
    const std::string saveMessage = OnlyMessage(saveRun.get());
    std::printf("hung output share: /W ended after %.1f s (at the lock) and %.1f s (at the save)\n", lockSeconds,
                saveSeconds);
    EXPECT_NE(lockMessage.find("The output folder " + atLock.path().string() + " does not answer"), std::string::npos)
        << lockMessage;
    EXPECT_NE(saveMessage.find("Cannot write the guide file " + atSave.path().string() +
                               "/tvdata.xml: its folder did not answer within 55 seconds"),
              std::string::npos)
        << saveMessage;
    for (const double seconds : {lockSeconds, saveSeconds}) {
        EXPECT_GE(seconds, 55.0);
        EXPECT_LT(seconds, 60.0);
    }
    EXPECT_TRUE(atLock.WaitForHeldCalls(1, std::chrono::milliseconds(0)));
    EXPECT_TRUE(atSave.WaitForHeldCalls(1, std::chrono::milliseconds(0)));
    atLock.Stop();  // releases the helpers left behind in the kernel
    atSave.Stop();
    EXPECT_EQ(ReadFile(backing / "tvdata.xml"), "older");
}
