#include "os/file_lock.h"

#include "os/folder_helper.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace brevan {
namespace {

using Clock = std::chrono::steady_clock;

// How long the window's events wait between two tries: short enough that the
// window answers, long enough to cost nothing.
constexpr std::chrono::milliseconds kTryInterval{50};

// The lock files this process holds. flock locks belong to an open file, so
// a second open here would wait for its own first one.
std::mutex& HeldMutex() {
    static std::mutex mutex;
    return mutex;
}
std::set<std::string>& HeldPaths() {
    static std::set<std::string> paths;
    return paths;
}

LockResult Outcome(LockStatus status, int error = 0) { return LockResult{status, error}; }

// Why `path` could not be opened (errno `error`), looked at without following it.
LockResult OpenRefusal(const std::string& path, int error) {
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) return Outcome(LockStatus::Link);
    if (exists && S_ISDIR(st.st_mode)) return Outcome(LockStatus::Folder);
    if (exists && !S_ISREG(st.st_mode)) return Outcome(LockStatus::NotAFile);
    if (exists && error == EACCES && st.st_uid != ::geteuid()) return Outcome(LockStatus::OthersFile);
    return Outcome(LockStatus::CannotOpen, error);
}

// The helper's answer as a lock outcome.
LockResult FromAnswer(const std::string& answer) {
    if (answer == kAnswerHeld) return Outcome(LockStatus::Held);
    if (answer == kAnswerBusy) return Outcome(LockStatus::Busy);
    if (answer == kAnswerLink) return Outcome(LockStatus::Link);
    if (answer == kAnswerFolder) return Outcome(LockStatus::Folder);
    if (answer == kAnswerNotAFile) return Outcome(LockStatus::NotAFile);
    if (answer == kAnswerOthersFile) return Outcome(LockStatus::OthersFile);
    const std::string prefix = std::string(kAnswerCannotOpen) + " ";
    int error = EIO;
    if (answer.rfind(prefix, 0) == 0)
        std::from_chars(answer.data() + prefix.size(), answer.data() + answer.size(), error);
    return Outcome(LockStatus::CannotOpen, error);
}

}  // namespace

FileLock::~FileLock() { Release(); }

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), helper_(std::move(other.helper_)), path_(std::move(other.path_)) {
    other.path_.clear();
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        helper_ = std::move(other.helper_);
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

void FileLock::Release() {
    if (path_.empty()) return;
    {
        std::lock_guard<std::mutex> hold(HeldMutex());
        HeldPaths().erase(path_);
    }
    path_.clear();
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    fd_ = -1;
    helper_.reset();  // the helper frees it as it ends
}

LockResult FileLock::Acquire(const std::string& path, std::chrono::milliseconds wait,
                             const std::function<void()>& between) {
    Release();
    {
        std::lock_guard<std::mutex> hold(HeldMutex());
        if (HeldPaths().count(path) != 0) return Outcome(LockStatus::HeldHere);
    }
    const LockResult result =
        FolderHelperProgram().empty() ? AcquireHere(path, wait, between) : AcquireWatched(path, wait, between);
    if (result.status == LockStatus::Held) {
        std::lock_guard<std::mutex> hold(HeldMutex());
        HeldPaths().insert(path);
        path_ = path;
    }
    return result;
}

LockResult FileLock::AcquireWatched(const std::string& path, std::chrono::milliseconds wait,
                                    const std::function<void()>& between) {
    auto helper = std::make_unique<FolderHelper>();
    if (const int error = helper->Start({"lock", path, std::to_string(wait.count())}))
        return Outcome(LockStatus::NoHelper, error);
    const std::optional<std::string> answer = helper->Answer(between);
    if (!answer) return helper->Hung() ? Outcome(LockStatus::NoAnswer) : Outcome(LockStatus::NoHelper, EIO);
    const LockResult result = FromAnswer(*answer);
    if (result.status == LockStatus::Held) helper_ = std::move(helper);
    return result;
}

LockResult FileLock::AcquireHere(const std::string& path, std::chrono::milliseconds wait,
                                 const std::function<void()>& between) {
    // Non-blocking and no controlling terminal: whatever stands at the path
    // is opened without waiting or side effect, then refused unless regular.
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    // Another user's lock file (the front end's account), or one on a
    // read-only mount, can be locked read-only.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        fd = ::open(path.c_str(), O_RDONLY | kFlags);
        // No lock file, and no right to make one: the folder's refusal is the reason.
        if (fd < 0 && errno == ENOENT) errno = EACCES;
    }
    if (fd < 0) return OpenRefusal(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        return S_ISDIR(st.st_mode) ? Outcome(LockStatus::Folder) : OpenRefusal(path, error);
    }

    const Clock::time_point deadline = Clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR) continue;
        const Clock::time_point now = Clock::now();
        if (error != EWOULDBLOCK || now >= deadline) {
            ::close(fd);
            return error == EWOULDBLOCK ? Outcome(LockStatus::Busy) : Outcome(LockStatus::CannotOpen, error);
        }
        if (between) between();
        std::this_thread::sleep_for(std::min<Clock::duration>(kTryInterval, deadline - Clock::now()));
    }
    fd_ = fd;
    return Outcome(LockStatus::Held);
}

}  // namespace brevan
