#include "os/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
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

// The lock files this process holds (device, inode). flock locks belong to
// an open file, so a second open here would wait for its own first one.
using FileKey = std::pair<dev_t, ino_t>;
std::mutex& HeldMutex() {
    static std::mutex mutex;
    return mutex;
}
std::set<FileKey>& HeldFiles() {
    static std::set<FileKey> files;
    return files;
}

FileKey KeyOf(int fd) {
    struct stat st {};
    ::fstat(fd, &st);
    return {st.st_dev, st.st_ino};
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

}  // namespace

FileLock::~FileLock() { Release(); }

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void FileLock::Release() {
    if (fd_ < 0) return;
    {
        std::lock_guard<std::mutex> hold(HeldMutex());
        HeldFiles().erase(KeyOf(fd_));
    }
    ::close(fd_);  // closing releases the lock
    fd_ = -1;
}

LockResult FileLock::Acquire(const std::string& path, std::chrono::milliseconds wait,
                             const std::function<void()>& between) {
    Release();
    // Non-blocking and no controlling terminal: whatever stands at the path
    // is opened without waiting or side effect, then refused unless regular.
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    // Another user's lock file (the front end's account) can be locked read-only.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0666);
    if (fd < 0 && errno == EACCES) {
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
    const FileKey key{st.st_dev, st.st_ino};
    {
        std::lock_guard<std::mutex> hold(HeldMutex());
        if (HeldFiles().count(key) != 0) {
            ::close(fd);
            return Outcome(LockStatus::HeldHere);
        }
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
    {
        std::lock_guard<std::mutex> hold(HeldMutex());
        HeldFiles().insert(key);
    }
    fd_ = fd;
    return Outcome(LockStatus::Held);
}

}  // namespace brevan
