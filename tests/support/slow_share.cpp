#include "support/slow_share.h"

#include "support/slow_share/mounts.h"
#include "support/slow_share/share_protocol.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace testsupport {

namespace {

#ifdef BREVAN_SLOW_SHARE_EXE
constexpr const char* kServer = BREVAN_SLOW_SHARE_EXE;
#else
constexpr const char* kServer = nullptr;  // libfuse3 was not found
#endif

// A share's folder is named after the process that owns it,
// "brevan-share-<pid>-XXXXXX", so that leftovers can be told from shares in use.
constexpr std::string_view kFolderPrefix = "brevan-share-";

// Waits at most `timeout` for the child `pid` to end and reaps it.
bool Reap(pid_t pid, std::chrono::milliseconds timeout, int* status = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int ignored = 0;
    while (::waitpid(pid, status != nullptr ? status : &ignored, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

bool Gone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

bool MountedHere(const fs::path& mountPoint) {
    for (const slowshare::Mount& mount : slowshare::ReadMounts())
        if (mount.mountPoint == mountPoint.string() && mount.fsType == slowshare::kFsType) return true;
    return false;
}

// The process that made a share folder; nothing when the name is not one.
std::optional<pid_t> OwnerOf(const fs::path& folder) {
    const std::string name = folder.filename().string();
    if (!name.starts_with(kFolderPrefix)) return std::nullopt;
    pid_t pid = 0;
    const char* first = name.data() + kFolderPrefix.size();
    const auto [end, error] = std::from_chars(first, name.data() + name.size(), pid);
    if (error != std::errc() || end == first || *end != '-' || pid <= 0) return std::nullopt;
    return pid;
}

// What a test killed before it stopped its shares left: mounts whose server
// has gone are detached (a server outliving its test stops by itself), and
// folders whose owner has gone are removed, entry by entry.
void RemoveLeftovers(const fs::path& temp) {
    std::string why;
    for (const slowshare::Mount& mount : slowshare::ReadMounts()) {
        const std::optional<pid_t> server = slowshare::ServerOf(mount.source);
        if (mount.fsType == slowshare::kFsType && server && Gone(*server)) slowshare::Detach(mount.mountPoint, &why);
    }
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(temp, ec)) {
        const std::optional<pid_t> owner = OwnerOf(entry.path());
        if (!owner || !Gone(*owner) || MountedHere(entry.path() / "share")) continue;
        std::error_code ignored;
        fs::remove(entry.path() / "server.log", ignored);
        fs::remove(entry.path() / "share", ignored);
        fs::remove(entry.path(), ignored);
    }
}

bool OnPath(const std::string& program) {
    std::istringstream path(::getenv("PATH") != nullptr ? ::getenv("PATH") : "");
    std::string dir;
    while (std::getline(path, dir, ':'))
        if (!dir.empty() && ::access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
    return false;
}

// Whether a stat of `path` answers within `timeout`, asked in a child so that
// a share that does not answer cannot hold this process.
bool Answers(const fs::path& path, std::chrono::milliseconds timeout, SlowShare& share) {
    const pid_t child = ::fork();
    if (child == 0) {
        struct stat st {};
        ::_exit(::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : 1);
    }
    if (child < 0) return false;
    int status = 0;
    if (Reap(child, timeout, &status)) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    share.Stop();  // releases the child
    ::kill(child, SIGKILL);
    Reap(child, 3s);
    return false;
}

std::pair<bool, std::string> FindAvailability() {
    if (kServer == nullptr)
        return {false,
                "the slow_share test server was not built: libfuse3 was not found (Debian package libfuse3-dev)"};
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) return {false, std::string("/dev/fuse cannot be opened: ") + std::strerror(errno)};
    ::close(fd);
    try {
        const TempFolder empty;
        SlowShare trial(empty.path());
        if (!Answers(trial.path(), 5s, trial)) return {false, "a trial FUSE share does not answer"};
    } catch (const std::exception& error) {
        std::string why = std::string("a trial FUSE share cannot be mounted: ") + error.what();
        if (!OnPath("fusermount3")) why += " (fusermount3 is missing: Debian package fuse3)";
        return {false, why};
    }
    return {true, ""};
}

}  // namespace

SlowShare::SlowShare(const fs::path& backingFolder, const SlowShareOptions& options) {
    if (kServer == nullptr) throw std::runtime_error("the slow_share test server was not built");
    const fs::path temp = fs::temp_directory_path();
    RemoveLeftovers(temp);
    std::string pattern = (temp / (std::string(kFolderPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    folder_ = fs::canonical(pattern);
    mountPoint_ = folder_ / "share";
    logPath_ = folder_ / "server.log";
    std::error_code ec;
    fs::create_directory(mountPoint_, ec);

    // Everything the child needs is made before the fork; after it, the
    // child makes only async-signal-safe calls.
    std::vector<std::string> argStrings{kServer};
    for (std::string& arg : slowshare::ToArguments(options)) argStrings.push_back(std::move(arg));
    argStrings.push_back(fs::absolute(backingFolder).string());
    argStrings.push_back(mountPoint_.string());
    std::vector<char*> argv;
    for (std::string& arg : argStrings) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int logFd = ::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (logFd < 0 || null < 0) {
        const std::string why = std::strerror(errno);
        ::close(logFd);
        ::close(null);
        RemoveFolder();
        throw std::runtime_error("cannot open the slow_share server's log or /dev/null: " + why);
    }
    const pid_t parent = ::getpid();
    sigset_t none;
    sigemptyset(&none);

    const pid_t pid = ::fork();
    if (pid == 0) {
        // Should this process die without stopping the share, the server
        // stops too and takes its mount with it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
        ::dup2(null, 0);
        ::dup2(logFd, 1);
        ::dup2(logFd, 2);
        ::close_range(3, ~0U, 0);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(logFd);
    ::close(null);
    if (pid < 0) {
        RemoveFolder();
        throw std::runtime_error(std::string("fork: ") + std::strerror(forkError));
    }
    server_ = pid;

    const std::string source = slowshare::SourceOf(pid);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    std::string failure;
    for (;;) {
        bool mounted = false;
        for (const slowshare::Mount& mount : slowshare::ReadMounts())
            mounted = mounted || (mount.mountPoint == mountPoint_.string() && mount.source == source);
        if (mounted) return;
        if (Reap(server_, 0ms)) {
            server_ = -1;
            failure = "the slow_share server ended without mounting";
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            failure = "the slow_share server did not mount within 10 s";
            break;
        }
        std::this_thread::sleep_for(2ms);
    }
    Stop();
    failure += ": " + log();
    RemoveFolder();
    throw std::runtime_error(failure);
}

SlowShare::~SlowShare() {
    Stop();
    RemoveFolder();
}

int SlowShare::heldCalls() const {
    std::istringstream lines(log());
    int count = 0;
    std::string line;
    while (std::getline(lines, line)) count += line.starts_with(slowshare::kHeldCallLine) ? 1 : 0;
    return count;
}

bool SlowShare::WaitForHeldCalls(int count, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (heldCalls() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::string SlowShare::log() const { return ReadFile(logPath_); }

void SlowShare::Unmount() {
    std::string why;
    if (!slowshare::Detach(mountPoint_.string(), &why)) ADD_FAILURE() << "cannot detach the slow share: " << why;
}

void SlowShare::Stop() {
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        if (!Reap(server_, 3s)) {
            ADD_FAILURE() << "the slow_share server did not stop within 3 s; killed. Its log:\n" << log();
            ::kill(server_, SIGKILL);
            if (!Reap(server_, 3s)) ADD_FAILURE() << "the slow_share server " << server_ << " did not end";
        }
        server_ = -1;
    }
    // A killed server leaves its mount behind, failing every call.
    std::string why;
    // Another test's sweep may detach it first.
    if (!mountPoint_.empty() && MountedHere(mountPoint_) && !slowshare::Detach(mountPoint_.string(), &why) &&
        MountedHere(mountPoint_))
        ADD_FAILURE() << "the slow share at " << mountPoint_ << " stays mounted: " << why;
}

void SlowShare::RemoveFolder() const {
    // One by one, never recursively: nothing here may reach into a share.
    std::error_code ec;
    fs::remove(logPath_, ec);
    fs::remove(mountPoint_, ec);
    fs::remove(folder_, ec);
}

bool SlowShare::Available(std::string* why) {
    static const std::pair<bool, std::string> answer = FindAvailability();
    if (!answer.first && why != nullptr) *why = answer.second;
    return answer.first;
}

}  // namespace testsupport
