#include "os/process.h"

#include "base/error.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

extern char** environ;

namespace brevan {
namespace {

// posix_spawn's attributes and file actions, and copies of the descriptors
// handed over, released on every path.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    std::vector<int> copies;
    SpawnSetup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        for (int fd : copies) ::close(fd);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Descriptors at or above this are free of the child's numbers, so moving a
// descriptor into place never overwrites another one still to be moved
// (a program started with its standard streams closed has its pipes at 0-2).
constexpr int kAboveChildDescriptors = 10;

std::vector<char*> Pointers(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

Spawned Process::Spawn(const SpawnRequest& request) {
    SpawnSetup setup;
    // The program starts with a clean signal state rather than whatever the
    // GUI toolkit has blocked or set here.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    int highest = STDERR_FILENO;
    for (const auto& [child, ours] : request.descriptors) {
        highest = std::max(highest, child);
        if (ours < 0) {
            posix_spawn_file_actions_addopen(&setup.actions, child, "/dev/null", O_RDWR, 0);
            continue;
        }
        const int copy = ::fcntl(ours, F_DUPFD_CLOEXEC, kAboveChildDescriptors);
        // Below the lowest number asked for, F_DUPFD fails with EINVAL: a
        // shortage of descriptors all the same.
        if (copy < 0) return Spawned{std::nullopt, errno == EINVAL ? EMFILE : errno};
        setup.copies.push_back(copy);
        posix_spawn_file_actions_adddup2(&setup.actions, copy, child);
    }
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, highest + 1);

    std::vector<std::string> argv{request.program};
    argv.insert(argv.end(), request.arguments.begin(), request.arguments.end());
    std::vector<char*> argPointers = Pointers(argv);
    std::vector<char*> envPointers;
    if (request.environment) envPointers = Pointers(*request.environment);
    char* const* envp = request.environment ? envPointers.data() : environ;

    pid_t pid = -1;
    // glibc starts the child with CLONE_VFORK, so a failed exec comes back
    // here as the result instead of as a child that exits with 127.
    const int result =
        ::posix_spawn(&pid, request.program.c_str(), &setup.actions, &setup.attributes, argPointers.data(), envp);
    if (result != 0) return Spawned{std::nullopt, result};

    // A descriptor that becomes readable when the child ends lets a wait
    // sleep until then; kernels without it fall back to short sleeps.
    // (The system call directly: glibc 2.36 declares pidfd_open without C linkage.)
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) ::fcntl(pidfd, F_SETFD, FD_CLOEXEC);
    return Spawned{Process(pid, pidfd), 0};
}

std::string CannotStart(const std::string& shown, int error) {
    return "Cannot start '" + shown + "': " + std::system_category().message(error);
}

Process Process::Start(const std::string& path, std::int16_t /*windowStyle*/) {
    if (path.empty()) throw Error("Cannot start a program: its path is empty");
    Spawned started = Spawn(SpawnRequest{path, {}, std::nullopt, {}});
    if (!started.process) throw Error(CannotStart(path, started.error));
    return std::move(*started.process);
}

Process::Process(Process&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      pidfd_(std::exchange(other.pidfd_, -1)),
      ended_(other.ended_),
      status_(other.status_) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Close();
        pid_ = std::exchange(other.pid_, -1);
        pidfd_ = std::exchange(other.pidfd_, -1);
        ended_ = other.ended_;
        status_ = other.status_;
    }
    return *this;
}

Process::~Process() { Close(); }

bool Process::TryReap() {
    if (ended_ || pid_ < 0) return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    ended_ = true;
    if (r < 0) {
        status_ = {};  // reaped elsewhere (SIGCHLD ignored): nothing more to learn
    } else if (WIFEXITED(status)) {
        status_ = {WEXITSTATUS(status), 0};
    } else if (WIFSIGNALED(status)) {
        status_ = {0, WTERMSIG(status)};
    }
    return true;
}

std::optional<ExitStatus> Process::Wait(std::chrono::milliseconds wait) {
    if (TryReap()) return status_;
    if (wait.count() > 0) {
        if (pidfd_ >= 0) {
            pollfd end{pidfd_, POLLIN, 0};
            ::poll(&end, 1, static_cast<int>(wait.count()));  // an interruption only shortens the wait
        } else {
            std::this_thread::sleep_for(wait);
        }
        if (TryReap()) return status_;
    }
    return std::nullopt;
}

std::int32_t Process::ExitCode(std::chrono::milliseconds wait) {
    const std::optional<ExitStatus> status = Wait(wait);
    if (!status) return kStillActive;
    return status->signal != 0 ? 128 + status->signal : status->code;
}

void Process::Kill() {
    if (pid_ >= 0 && !TryReap()) ::kill(pid_, SIGKILL);
}

void Process::Close() {
    if (pid_ >= 0) TryReap();
    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
    pid_ = -1;
}

}  // namespace brevan
