// A network share for tests that is slow or stops answering as told: the
// slow_share FUSE server (support/slow_share/) mirroring a folder read-only
// on a fresh temporary mount point. The test owns the server; whatever
// happens, the share goes with the object and releases every call it holds.
#pragma once

#include "support/slow_share/share_options.h"

#include <sys/types.h>
#include <chrono>
#include <filesystem>
#include <string>

namespace testsupport {

// What the share does wrong: bandwidth, read delay, names whose open, stat
// or later reads are never answered, and whether held calls heed signals.
using SlowShareOptions = slowshare::Options;

class SlowShare {
public:
    // Mounts a read-only mirror of `backingFolder` and waits until the mount
    // is in the mount table (at most 10 s). Leftovers of tests killed before
    // they stopped their shares are removed first. Throws std::runtime_error
    // with the server's messages when it cannot mount; nothing is left
    // behind then. The server stops by itself when the thread that made the
    // share ends, so make it on the test's own thread.
    explicit SlowShare(const std::filesystem::path& backingFolder, const SlowShareOptions& options = {});
    // Stop().
    ~SlowShare();
    SlowShare(const SlowShare&) = delete;
    SlowShare& operator=(const SlowShare&) = delete;

    // The mount point: an absolute path without symbolic links.
    const std::filesystem::path& path() const { return mountPoint_; }
    std::string operator/(const std::string& name) const { return (mountPoint_ / name).string(); }

    // How many calls the server has started holding so far (one per held
    // open, stat or read, whether it still holds it or not).
    int heldCalls() const;
    // Waits until heldCalls() >= count; false when `timeout` passes first.
    bool WaitForHeldCalls(int count, std::chrono::milliseconds timeout) const;

    // What the server wrote to standard error and standard output.
    std::string log() const;

    // Detaches the mount lazily from outside, as `fusermount3 -u -z` does
    // when a share goes away. Within 0.1 s the server ends held calls with
    // EIO; it ends itself once nothing on the share is open. Stop() still
    // reaps it. Fails the test when the mount cannot be detached.
    void Unmount();

    // Ends the share within about 6 s: asks the server to stop (held calls
    // end with EIO; it detaches its mount and ends). A server that does not
    // end within 3 s fails the test and is killed (calls on the share then
    // fail with ECONNABORTED or ENOTCONN), and what is left is detached.
    // Fails the test when the server or the mount stays. Calling it again
    // does nothing.
    void Stop();

    // Whether shares can be mounted here: the server was built (libfuse3
    // found), /dev/fuse can be opened, and a trial share mounts and answers.
    // Otherwise false, with the reason in `why` for GTEST_SKIP(). The answer
    // is found once per process.
    static bool Available(std::string* why);

private:
    void RemoveFolder() const;

    std::filesystem::path folder_;  // holds the mount point and the log
    std::filesystem::path mountPoint_;
    std::filesystem::path logPath_;
    pid_t server_ = -1;
};

}  // namespace testsupport
