// The slow share that stands in for a network share in these tests: it
// mirrors its folder, slows reads as asked, and a call it holds ends with an
// error when the share goes, or at once when its caller is killed, so that a
// test cannot leave a stuck process behind.
#include "support/slow_share.h"
#include "support/slow_share/mounts.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

std::string RandomBytes(std::size_t size) {
    std::mt19937 random(size);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    return bytes;
}

bool MountedAt(const std::string& path) {
    const std::vector<slowshare::Mount> mounts = slowshare::ReadMounts();
    return std::any_of(mounts.begin(), mounts.end(), [&](const auto& mount) { return mount.mountPoint == path; });
}

class SlowShareTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!SlowShare::Available(&why)) GTEST_SKIP() << why;
    }
    // Children a failed test left behind; their share is gone by now.
    void TearDown() override {
        for (const pid_t pid : children_) {
            ::kill(pid, SIGKILL);
            EndOf(pid, 5s);
        }
    }

    // Runs `call` in a child, which ends with what it returns: 0, or the
    // errno of the call that failed. The child makes system calls only.
    pid_t Start(const std::function<int()>& call) {
        const pid_t pid = ::fork();
        if (pid == 0) ::_exit(call());
        children_.push_back(pid);
        return pid;
    }

    // The child's exit status (128 + signal when killed) once it has ended,
    // waiting at most `timeout`; nothing while it still runs.
    std::optional<int> EndOf(pid_t pid, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (Clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(2ms);
        }
        std::erase(children_, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    TempFolder backing_;
    std::vector<pid_t> children_;
};

int Failure(bool ok) { return ok ? 0 : errno; }

TEST_F(SlowShareTest, MirrorsItsFolderReadOnly) {
    const std::string database = RandomBytes(300'000);
    WriteFile(backing_ / "tvdaten.mdb", database);
    fs::create_directory(backing_.path() / "sub");
    WriteFile(backing_ / "sub/notes.txt", "notes");
    SlowShare share(backing_.path());

    EXPECT_EQ(ReadFile(share / "tvdaten.mdb"), database);
    EXPECT_EQ(ReadFile(share / "sub/notes.txt"), "notes");
    EXPECT_EQ(fs::file_size(share / "tvdaten.mdb"), database.size());
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(share.path())) names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"sub", "tvdaten.mdb"}));

    EXPECT_EQ(::open((share / "tvdaten.mdb").c_str(), O_WRONLY), -1);
    EXPECT_EQ(errno, EROFS);
    struct stat st {};
    EXPECT_EQ(::stat((share / "missing.mdb").c_str(), &st), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(share.heldCalls(), 0);
}

TEST_F(SlowShareTest, ReadsTakeAsLongAsAsked) {
    const std::string database = RandomBytes(1 << 20);
    WriteFile(backing_ / "tvdaten.mdb", database);
    {
        // 1 MiB at 4 MiB/s: a quarter of a second.
        SlowShare share(backing_.path(), {.bandwidth = 4 << 20});
        const auto start = Clock::now();
        EXPECT_EQ(ReadFile(share / "tvdaten.mdb"), database);
        EXPECT_GE(Clock::now() - start, 125ms);
    }
    {
        // Eight page reads, 25 ms each.
        SlowShare share(backing_.path(), {.readDelay = 25ms});
        const int fd = ::open((share / "tvdaten.mdb").c_str(), O_RDONLY);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        char page[4096];
        const auto start = Clock::now();
        for (int i = 0; i < 8; ++i) EXPECT_EQ(::pread(fd, page, sizeof page, i * 4096), 4096);
        EXPECT_GE(Clock::now() - start, 100ms);
        EXPECT_EQ(std::string(page, sizeof page), database.substr(7 * 4096, 4096));
        ::close(fd);
    }
}

TEST_F(SlowShareTest, HeldCallsEndWithAnErrorWhenTheShareGoes) {
    WriteFile(backing_ / "open.mdb", "open");
    // A held stat holds every lookup in its folder (share_options.h).
    fs::create_directory(backing_.path() / "sub");
    WriteFile(backing_ / "sub/stat.mdb", "stat");
    const std::string pages = RandomBytes(8192);
    WriteFile(backing_ / "read.mdb", pages);
    const SlowShareOptions stuck{
        .hangOpen = {"open.mdb"}, .hangStat = {"sub/stat.mdb"}, .hangReadsAfter = {{"read.mdb", 4096}}};

    for (const bool fromOutside : {false, true}) {
        SCOPED_TRACE(fromOutside ? "unmounted from outside" : "stopped");
        SlowShare share(backing_.path(), stuck);
        const std::string root = share.path();
        const std::string open = share / "open.mdb", stat = share / "sub/stat.mdb", read = share / "read.mdb";
        const std::vector<pid_t> callers{
            Start([&] { return Failure(::open(open.c_str(), O_RDONLY) >= 0); }),
            Start([&] {
                struct stat st {};
                return Failure(::stat(stat.c_str(), &st) == 0);
            }),
            Start([&] {
                const int fd = ::open(read.c_str(), O_RDONLY);
                char page[4096];
                // The first page is answered, with its bytes.
                if (fd < 0 || ::pread(fd, page, sizeof page, 0) != 4096 || pages.compare(0, 4096, page, 4096) != 0)
                    return 200;
                return Failure(::pread(fd, page, sizeof page, 4096) >= 0);
            }),
        };
        ASSERT_TRUE(share.WaitForHeldCalls(3, 5s)) << share.log();
        for (const pid_t caller : callers) EXPECT_FALSE(EndOf(caller, 0ms)) << "a held call was answered";

        if (fromOutside) {
            share.Unmount();
        } else {
            share.Stop();
        }
        for (const pid_t caller : callers) {
            const std::optional<int> status = EndOf(caller, 5s);
            ASSERT_TRUE(status) << "a caller still waits on the share";
            EXPECT_EQ(*status, EIO) << std::strerror(*status);
        }
        share.Stop();
        EXPECT_FALSE(MountedAt(root));
    }
}

TEST_F(SlowShareTest, KilledCallersLeaveAtOnceUnlessInterruptsAreIgnored) {
    WriteFile(backing_ / "tvdaten.mdb", "database");
    {
        SlowShare share(backing_.path(), {.hangOpen = {"tvdaten.mdb"}});
        const std::string path = share / "tvdaten.mdb";
        const pid_t caller = Start([&] { return Failure(::open(path.c_str(), O_RDONLY) >= 0); });
        ASSERT_TRUE(share.WaitForHeldCalls(1, 5s)) << share.log();
        ::kill(caller, SIGKILL);
        EXPECT_EQ(EndOf(caller, 5s), 128 + SIGKILL);
    }
    {
        // As on a hard-mounted share, the killed caller stays until the share goes.
        SlowShare share(backing_.path(), {.hangOpen = {"tvdaten.mdb"}, .ignoreInterrupts = true});
        const std::string path = share / "tvdaten.mdb";
        const pid_t caller = Start([&] { return Failure(::open(path.c_str(), O_RDONLY) >= 0); });
        ASSERT_TRUE(share.WaitForHeldCalls(1, 5s)) << share.log();
        ::kill(caller, SIGKILL);
        EXPECT_FALSE(EndOf(caller, 300ms));
        share.Stop();
        EXPECT_EQ(EndOf(caller, 5s), 128 + SIGKILL);
    }
}

}  // namespace
