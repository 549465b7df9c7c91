#pragma once
// An advisory lock on a file (flock), held while the object lives. A holder
// that dies frees it by itself.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace brevan {

// How an attempt to take a lock ended.
enum class LockStatus {
    Held,        // this object holds the lock now
    Busy,        // another holder kept it for the whole wait
    HeldHere,    // this process holds it already
    Link,        // the lock file is a symbolic link
    Folder,      // the lock file is a folder
    NotAFile,    // the lock file is a device, pipe or socket
    OthersFile,  // the lock file is another user's, and we may not open it
    CannotOpen,  // the lock file cannot be opened or made: `error` says why
    NoAnswer,    // the folder left a step unanswered for kFolderAnswerWait
    NoHelper,    // the folder helper could not be started: `error` says why
};

struct LockResult {
    LockStatus status = LockStatus::CannotOpen;
    int error = 0;  // the errno, for CannotOpen and NoHelper
};

class FolderHelper;

class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens the lock file `path` (creating it when missing; never through a
    // link, never as a controlling terminal; only a regular file is taken)
    // and tries to take its exclusive lock without blocking, again and
    // again, until it holds it or `wait` has passed. `between` (may be
    // empty) is called between two tries, as the window's events are. A lock
    // this process holds already is HeldHere at once: waiting for it would wait
    // for ourselves. The file is never deleted: deleting it would let two
    // holders lock two files. On any status but Held nothing is held.
    // With a folder helper program set (os/folder_helper.h), the helper
    // opens, waits and holds, and a folder that leaves a step unanswered for
    // kFolderAnswerWait gives NoAnswer instead of a wait without end.
    LockResult Acquire(const std::string& path, std::chrono::milliseconds wait,
                       const std::function<void()>& between = {});

    bool Held() const { return !path_.empty(); }

private:
    void Release();
    LockResult AcquireHere(const std::string& path, std::chrono::milliseconds wait,
                           const std::function<void()>& between);
    LockResult AcquireWatched(const std::string& path, std::chrono::milliseconds wait,
                              const std::function<void()>& between);

    int fd_ = -1;                           // the lock file, held in this process
    std::unique_ptr<FolderHelper> helper_;  // or the helper that holds it
    std::string path_;                      // while held
};

}  // namespace brevan
