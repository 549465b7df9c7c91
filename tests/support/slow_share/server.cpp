// slow_share: a FUSE file server for tests that stands in for a slow or stuck
// network share. It mirrors a folder read-only and misbehaves as its command
// line says (share_options.h). It never daemonizes, so the test that starts
// it owns it.
//
// A call it holds waits on a condition that the stop signals, so that no
// caller stays stuck: on SIGTERM, SIGINT or SIGHUP, or when the mount is
// detached from outside, held calls end with EIO, the mount is detached and
// the server ends. Killing it instead makes the kernel fail the calls in
// flight with ECONNABORTED and later ones with ENOTCONN.
#define FUSE_USE_VERSION 35
#include <fuse.h>

#include "support/slow_share/mounts.h"
#include "support/slow_share/share_options.h"
#include "support/slow_share/share_protocol.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace slowshare {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// What all handler threads share: the options, the stop, and the pace of reads.
class Share {
public:
    Share(Options options, std::string backingFolder)
        : options_(std::move(options)), backing_(std::move(backingFolder)) {}

    const Options& options() const { return options_; }

    // The backing file of a path in the share ("/" or "/name").
    std::string Backing(const char* path) const { return backing_ + path; }

    bool HangsOpen(const char* path) const { return Listed(options_.hangOpen, path); }
    bool HangsStat(const char* path) const { return Listed(options_.hangStat, path); }
    std::optional<std::uint64_t> HangsReadsAfter(const char* path) const {
        const auto found = options_.hangReadsAfter.find(path + 1);
        if (found == options_.hangReadsAfter.end()) return std::nullopt;
        return found->second;
    }

    enum class Wait { kDone, kStopped, kInterrupted };

    // Waits until `deadline`, the stop, or a signal to the caller (unless
    // interrupts are ignored), whichever comes first. Call only from a handler.
    Wait WaitUntil(Clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stopped_) return Wait::kStopped;
            if (!options_.ignoreInterrupts && fuse_interrupted()) return Wait::kInterrupted;
            const Clock::time_point now = Clock::now();
            if (now >= deadline) return Wait::kDone;
            // libfuse marks an interrupt without waking us; look again soon.
            stop_.wait_until(lock, std::min(deadline, now + 20ms));
        }
    }

    // Holds a call until the stop (-EIO) or the caller's signal (-EINTR).
    int Hold(const std::string& what) {
        std::fprintf(stderr, "%s%s\n", std::string(kHeldCallLine).c_str(), what.c_str());
        std::fflush(stderr);
        return WaitUntil(Clock::time_point::max()) == Wait::kStopped ? -EIO : -EINTR;
    }

    // The time at which a read of `bytes` may answer, after every read
    // reserved before it, so that all reads together keep to the bandwidth.
    Clock::time_point ReserveTransfer(std::size_t bytes) {
        if (options_.bandwidth == 0) return Clock::now();
        const auto duration = std::chrono::nanoseconds(
            static_cast<std::int64_t>(static_cast<double>(bytes) * 1e9 / static_cast<double>(options_.bandwidth)));
        std::lock_guard lock(mutex_);
        nextFree_ = std::max(nextFree_, Clock::now()) + duration;
        return nextFree_;
    }

    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        stop_.notify_all();
    }

private:
    static bool Listed(const std::vector<std::string>& names, const char* path) {
        return std::find(names.begin(), names.end(), path + 1) != names.end();
    }

    const Options options_;
    const std::string backing_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopped_ = false;
    Clock::time_point nextFree_;
};

Share& Self() { return *static_cast<Share*>(fuse_get_context()->private_data); }

void* Init(fuse_conn_info*, fuse_config* config) {
    // Every use of a name reaches the server, so that a hang cannot be
    // dodged by the kernel's caches.
    config->entry_timeout = 0;
    config->negative_timeout = 0;
    config->attr_timeout = 0;
    return fuse_get_context()->private_data;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
    Share& share = Self();
    if (share.HangsStat(path)) return share.Hold(std::string("stat of ") + path);
    const int result = fi != nullptr ? ::fstat(static_cast<int>(fi->fh), st) : ::lstat(share.Backing(path).c_str(), st);
    return result == 0 ? 0 : -errno;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    DIR* dir = ::opendir(Self().Backing(path).c_str());
    if (dir == nullptr) return -errno;
    while (const dirent* entry = ::readdir(dir)) fill(buffer, entry->d_name, nullptr, 0, fuse_fill_dir_flags{});
    ::closedir(dir);
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    Share& share = Self();
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    if (share.HangsOpen(path)) return share.Hold(std::string("open of ") + path);
    const int fd = ::open(share.Backing(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    fi->fh = static_cast<std::uint64_t>(fd);
    // The callers' reads arrive as they made them, without read-ahead, so
    // that an offset to hang at means what it says; and nothing is cached.
    fi->direct_io = 1;
    return 0;
}

int Read(const char* path, char* buffer, std::size_t size, off_t offset, fuse_file_info* fi) {
    Share& share = Self();
    const int fd = static_cast<int>(fi->fh);
    if (const std::optional<std::uint64_t> limit = share.HangsReadsAfter(path)) {
        struct stat st {};
        if (::fstat(fd, &st) != 0) return -errno;
        const std::uint64_t start = static_cast<std::uint64_t>(offset);
        const std::uint64_t end = std::min<std::uint64_t>(start + size, static_cast<std::uint64_t>(st.st_size));
        if (start >= *limit || end > *limit)
            return share.Hold("read of " + std::string(path) + " at " + std::to_string(offset) + " (" +
                              std::to_string(size) + " bytes)");
    }
    const ssize_t got = ::pread(fd, buffer, size, offset);
    if (got < 0) return -errno;
    const Clock::time_point due =
        std::max(Clock::now() + share.options().readDelay, share.ReserveTransfer(static_cast<std::size_t>(got)));
    switch (share.WaitUntil(due)) {
    case Share::Wait::kDone: return static_cast<int>(got);
    case Share::Wait::kStopped: return -EIO;
    case Share::Wait::kInterrupted: return -EINTR;
    }
    return -EIO;
}

int Release(const char*, fuse_file_info* fi) {
    ::close(static_cast<int>(fi->fh));
    return 0;
}

fuse_operations Operations() {
    fuse_operations ops{};
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.read = Read;
    ops.release = Release;
    return ops;
}

bool Mounted(int id, const std::string& mountPoint) {
    for (const Mount& mount : ReadMounts())
        if (mount.id == id && mount.mountPoint == mountPoint) return true;
    return false;
}

// Runs beside the FUSE loop until it ends: waits for a stopping signal or for
// the mount to be detached from outside, then releases held calls and ends
// the loop. A share that callers outside keep open after the detach keeps
// the loop going; the process then ends after a grace time, which makes the
// kernel fail what they do next (ENOTCONN).
void Watch(Share& share, fuse* f, const std::string& mountPoint, int mountId, const sigset_t& signals,
           const std::atomic<bool>& loopEnded) {
    bool signalled = false;
    for (;;) {
        if (loopEnded) return;
        const timespec tick{0, 100'000'000};
        if (::sigtimedwait(&signals, nullptr, &tick) > 0) {
            signalled = true;
            break;
        }
        if (!Mounted(mountId, mountPoint)) break;
    }
    share.Stop();
    fuse_exit(f);
    std::string why;
    if (signalled && Mounted(mountId, mountPoint) && !Detach(mountPoint, &why))
        std::fprintf(stderr, "slow_share: cannot detach %s: %s\n", mountPoint.c_str(), why.c_str());
    const Clock::time_point deadline = Clock::now() + 2s;
    while (!loopEnded && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    if (!loopEnded) ::_exit(0);
}

std::optional<int> FindMount(const std::string& mountPoint) {
    const std::string source = SourceOf(::getpid());
    for (const Mount& mount : ReadMounts())
        if (mount.mountPoint == mountPoint && mount.fsType == kFsType && mount.source == source) return mount.id;
    return std::nullopt;
}

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) throw std::invalid_argument(path + ": " + std::strerror(errno));
    std::string result(real);
    std::free(real);
    return result;
}

int Serve(const CommandLine& line, const char* program) {
    const std::string backing = RealPath(line.backingFolder);
    const std::string mountPoint = RealPath(line.mountPoint);

    // The stopping signals go to the watcher alone: blocked here, before any
    // thread starts, and taken with sigtimedwait. An ignored signal would be
    // dropped even while blocked, so their defaults come back first.
    sigset_t signals;
    sigemptyset(&signals);
    for (const int s : {SIGTERM, SIGINT, SIGHUP}) {
        ::signal(s, SIG_DFL);
        sigaddset(&signals, s);
    }
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Share share(line.options, backing == "/" ? "" : backing);
    const std::string mountOptions = "ro,fsname=" + SourceOf(::getpid()) + ",subtype=" + std::string(kSubtype);
    const char* argv[] = {program, "-o", mountOptions.c_str()};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
    const fuse_operations ops = Operations();
    fuse* f = fuse_new(&args, &ops, sizeof ops, &share);
    if (f == nullptr) {
        fuse_opt_free_args(&args);
        return 1;
    }
    if (fuse_mount(f, mountPoint.c_str()) != 0) {
        fuse_destroy(f);
        fuse_opt_free_args(&args);
        return 1;
    }
    const std::optional<int> mountId = FindMount(mountPoint);
    if (!mountId) {
        std::fprintf(stderr, "slow_share: the mount at %s is not in the mount table\n", mountPoint.c_str());
        fuse_unmount(f);
        fuse_destroy(f);
        fuse_opt_free_args(&args);
        return 1;
    }

    std::atomic<bool> loopEnded = false;
    std::thread watcher(Watch, std::ref(share), f, mountPoint, *mountId, std::cref(signals), std::cref(loopEnded));
    fuse_loop_config config{};
    config.clone_fd = 0;
    config.max_idle_threads = 10;
    fuse_loop_mt(f, &config);
    loopEnded = true;
    watcher.join();
    fuse_unmount(f);
    fuse_destroy(f);
    fuse_opt_free_args(&args);
    return 0;
}

}  // namespace

}  // namespace slowshare

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--help") {
        std::fputs(slowshare::Usage().c_str(), stdout);
        return 0;
    }
    try {
        return slowshare::Serve(slowshare::ParseCommandLine(args), argv[0]);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "slow_share: %s\n%s", error.what(), slowshare::Usage().c_str());
        return 2;
    }
}
