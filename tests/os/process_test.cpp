// Starting real programs: what a failed start says, what the child gets,
// and how the end is reported.
#include "os/process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using brevan::kStillActive;
using brevan::Process;
using namespace std::chrono_literals;

namespace {

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "brevan-process-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Script(const std::string& name, const std::string& body, fs::perms perms = fs::perms(0755)) const {
        const std::string path = (dir_ / name).string();
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, perms);
        return path;
    }
    std::string Slurp(const std::string& name) const {
        std::ifstream in(dir_ / name);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::int32_t WaitForEnd(Process& process) {
        std::int32_t code;
        while ((code = process.ExitCode(10ms)) == kStillActive) {}
        return code;
    }
    static brevan::Spawned Spawn(const std::string& path) {
        return Process::Spawn(brevan::SpawnRequest{path, {}, std::nullopt, {}});
    }
    static Process Start(const std::string& path) {
        brevan::Spawned started = Spawn(path);
        if (!started.process) throw std::runtime_error("cannot start " + path);
        return std::move(*started.process);
    }

    fs::path dir_;
};

}  // namespace

TEST_F(ProcessTest, FailedStartsGiveTheSystemsReason) {
    EXPECT_EQ(Spawn((dir_ / "no-such-updater").string()).error, ENOENT);
    EXPECT_EQ(Spawn(Script("plain", "exit 0", fs::perms(0644))).error, EACCES);
    EXPECT_EQ(Spawn(dir_.string()).error, EACCES);
    // An executable file that is no program: no shell is tried in its place.
    const std::string noFormat = (dir_ / "text").string();
    std::ofstream(noFormat) << "echo not a script\n";
    fs::permissions(noFormat, fs::perms(0755));
    EXPECT_EQ(Spawn(noFormat).error, ENOEXEC);
}

TEST_F(ProcessTest, ThePathIsTheWholeCommand) {
    // Blanks and shell characters belong to the file name; the program gets
    // its own path as the only argument.
    const std::string path = Script("tv update;$(x) 'q'", "printf '%s|%s' \"$#\" \"$0\" > \"$(dirname \"$0\")/args\"");
    Process process = Start(path);
    EXPECT_EQ(WaitForEnd(process), 0);
    EXPECT_EQ(Slurp("args"), "0|" + path);
    EXPECT_EQ(Spawn(path + " --flag").error, ENOENT);
}

TEST_F(ProcessTest, ExitCodesAndSignals) {
    Process three = Start(Script("three", "exit 3"));
    EXPECT_EQ(WaitForEnd(three), 3);
    EXPECT_EQ(three.ExitCode(), 3);  // asking again after the end gives the same

    Process killed = Start(Script("killed", "kill -TERM $$; sleep 5"));
    EXPECT_EQ(WaitForEnd(killed), 128 + SIGTERM);

    Process running = Start(Script("sleeper", "sleep 0.3"));
    EXPECT_EQ(running.ExitCode(), kStillActive);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(running.ExitCode(50ms), kStillActive);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);  // the query really waited
    EXPECT_EQ(WaitForEnd(running), 0);
}

TEST_F(ProcessTest, TheChildGetsCleanSignalsAndOnlyTheStandardStreams) {
    // A descriptor of ours without close-on-exec, and a signal we ignore and block.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    ::signal(SIGUSR1, SIG_IGN);
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR2);
    ::sigprocmask(SIG_BLOCK, &block, nullptr);

    const std::string path =
        Script("inspect",
               "out=\"$(dirname \"$0\")\"\n"
               "[ -e /proc/$$/fd/" +
                   std::to_string(leaked) +
                   " ] && echo leaked > \"$out/fds\"\n"
                   "[ -e /proc/$$/fd/0 ] && [ -e /proc/$$/fd/1 ] && [ -e /proc/$$/fd/2 ] && echo ok > \"$out/std\"\n"
                   // The program reads its own signal state: the shell blocks
                   // signals for a moment around each fork, so reading the
                   // shell's state from a forked grep races with that.
                   "exec grep -E '^(SigBlk|SigIgn)' /proc/self/status > \"$out/signals\"");
    Process process = Start(path);
    EXPECT_EQ(WaitForEnd(process), 0);
    ::close(leaked);
    ::signal(SIGUSR1, SIG_DFL);
    ::sigprocmask(SIG_UNBLOCK, &block, nullptr);

    EXPECT_EQ(Slurp("fds"), "");
    EXPECT_EQ(Slurp("std"), "ok\n");
    // The shell may ignore signals of its own; SIGUSR1 and SIGUSR2 must be untouched.
    const std::string signals = Slurp("signals");
    EXPECT_NE(signals.find("SigBlk:\t0000000000000000"), std::string::npos) << signals;
    const auto ignored = std::stoull(signals.substr(signals.find("SigIgn:\t") + 8, 16), nullptr, 16);
    EXPECT_EQ(ignored & (1ull << (SIGUSR1 - 1)), 0u) << signals;
}

TEST_F(ProcessTest, CloseReapsAnEndedChild) {
    Process process = Start(Script("quick", "exit 0"));
    const pid_t pid = process.Id();
    // Until the child has ended, left waitable (WNOWAIT), at most 10 s.
    siginfo_t info{};
    for (int i = 0; i < 10000 && info.si_pid == 0; ++i) {
        ASSERT_EQ(::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT), 0);
        if (info.si_pid == 0) std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(info.si_pid, pid);
    process.Close();
    process.Close();
    // Reaped: the pid is no longer a child of ours (not even a zombie).
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}
