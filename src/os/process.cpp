#include "os/process.h"

#include "base/error.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace brevan {
namespace {

// posix_spawn's attributes and file actions, released on every path.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

} // namespace

Process Process::Start(const std::string& path, std::int16_t /*windowStyle*/) {
    if (path.empty()) throw Error("Cannot start a program: its path is empty");

    SpawnSetup setup;
    // The program is the user's own: it starts with a clean signal state
    // rather than whatever the GUI toolkit has blocked or set here, and sees
    // only the three standard streams of ours.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);

    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = -1;
    // glibc starts the child with CLONE_VFORK, so a failed exec comes back
    // here as the result instead of as a child that exits with 127.
    const int result = ::posix_spawn(&pid, path.c_str(), &setup.actions, &setup.attributes, argv, environ);
    if (result != 0)
        throw Error("Cannot start '" + path + "': " + std::system_category().message(result));

    // A descriptor that becomes readable when the child ends lets the wait
    // sleep until then; kernels without it fall back to short sleeps.
    // (The system call directly: glibc 2.36 declares pidfd_open without C linkage.)
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    return Process(pid, pidfd);
}

Process::Process(Process&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      pidfd_(std::exchange(other.pidfd_, -1)),
      ended_(other.ended_),
      exitCode_(other.exitCode_) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Close();
        pid_ = std::exchange(other.pid_, -1);
        pidfd_ = std::exchange(other.pidfd_, -1);
        ended_ = other.ended_;
        exitCode_ = other.exitCode_;
    }
    return *this;
}

Process::~Process() { Close(); }

bool Process::TryReap() {
    if (ended_) return true;
    if (pid_ < 0) return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    ended_ = true;
    if (r < 0) {
        exitCode_ = 0;  // reaped elsewhere (SIGCHLD ignored): nothing more to learn
    } else if (WIFEXITED(status)) {
        exitCode_ = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        exitCode_ = 128 + WTERMSIG(status);
    }
    return true;
}

std::int32_t Process::ExitCode(std::chrono::milliseconds wait) {
    if (TryReap()) return exitCode_;
    if (wait.count() > 0) {
        if (pidfd_ >= 0) {
            pollfd end{pidfd_, POLLIN, 0};
            ::poll(&end, 1, static_cast<int>(wait.count()));  // an interruption only shortens the wait
        } else {
            std::this_thread::sleep_for(wait);
        }
        if (TryReap()) return exitCode_;
    }
    return kStillActive;
}

void Process::Close() {
    if (pid_ >= 0) TryReap();
    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
    pid_ = -1;
}

} // namespace brevan
