#pragma once
// An advisory lock on a file (flock), held while the object lives. A holder
// that dies frees it by itself.
#include <string>

namespace brevan {

class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens (creating it when missing, never through a link) the lock file
    // `path` and waits until this process holds its exclusive lock. The file
    // is never deleted: deleting it would let two holders lock two files.
    // Returns 0, or the errno of the step that failed.
    int Acquire(const std::string& path);

private:
    int fd_ = -1;
};

}  // namespace brevan
