// A process that holds a lock file as another run of brevan (or
// `flock FILE sleep 1e9`) holds it, until it is released.
#pragma once

#include <sys/types.h>
#include <string>

namespace testsupport {

class LockHolder {
public:
    // Returns once a child process holds the exclusive lock on `path`
    // (creating the file), or has failed to: see held().
    explicit LockHolder(const std::string& path);
    ~LockHolder();  // Release()
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool held() const { return held_; }
    // Ends the holder, which frees the lock; safe to call twice.
    void Release();

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

}  // namespace testsupport
