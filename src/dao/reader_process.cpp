#include "dao/reader_process.h"

#include "dao/dao.h"
#include "base/error.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brevan::dao {

namespace {
std::atomic<long long> g_timeoutMs{20000};
} // namespace

std::chrono::milliseconds SetReaderTimeout(std::chrono::milliseconds timeout) {
    return std::chrono::milliseconds(g_timeoutMs.exchange(timeout.count()));
}

namespace detail {

std::chrono::milliseconds ReaderTimeout() { return std::chrono::milliseconds(g_timeoutMs.load()); }

namespace {

using Clock = std::chrono::steady_clock;

// Room the reader gets on top of what the fork already maps.
constexpr std::uint64_t kReaderMemory = 4ull << 30;
constexpr std::size_t kStderrKeep = 4096;

std::string Damaged(const std::string& path, const std::string& what) {
    return "The listing database " + path + " is damaged or unreadable: " + what + ".";
}

// --- in the child -----------------------------------------------------------

void LimitMemory() {
    // The limit counts the address space inherited from the parent (an
    // AddressSanitizer build maps terabytes), so it is set above that.
    std::uint64_t pages = 0;
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char text[64] = {};
        if (::read(fd, text, sizeof text - 1) > 0) pages = std::strtoull(text, nullptr, 10);
        ::close(fd);
    }
    const std::uint64_t limit = pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)) + kReaderMemory;
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_AS, &rl) == 0 && (rl.rlim_max == RLIM_INFINITY || rl.rlim_max > limit)) {
        rl.rlim_cur = limit;
        ::setrlimit(RLIMIT_AS, &rl);
    }
}

[[noreturn]] void ChildMain(const ReaderRequest& request, int out, int err, pid_t parent) {
    // From here on only libmdb, glib and the reader's own code run (the
    // parent may be a Qt application with threads); the process leaves with
    // _exit so that nothing of the parent's is flushed or destroyed twice.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(6);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        std::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // libmdb prints hex dumps to stdout and complaints to stderr.
    const int devnull = ::open("/dev/null", O_RDWR);
    if (devnull >= 0) {
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(devnull, STDOUT_FILENO);
    }
    ::dup2(err, STDERR_FILENO);
    // These change how libmdb finds files and decodes text.
    for (const char* name : {"MDBPATH", "MDBOPTS", "MDBICONV", "MDB_JET3_CHARSET"}) ::unsetenv(name);
    LimitMemory();
    ::_exit(ReadIntoStream(request, out));
}

// --- in the parent ----------------------------------------------------------

// Owns the child and its pipes; kills and reaps it unless it was reaped.
class Child {
public:
    Child(pid_t pid, int data, int err) : pid_(pid), data_(data), err_(err) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        CloseData();
        CloseErr();
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait(nullptr);
        }
    }

    int Data() const { return data_; }
    int Err() const { return err_; }
    void CloseData() {
        if (data_ >= 0) ::close(data_);
        data_ = -1;
    }
    void CloseErr() {
        if (err_ >= 0) ::close(err_);
        err_ = -1;
    }

    // Kills the child and reaps it.
    void Kill() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        Wait(nullptr);
    }

    // Waits for the child to end; true with its status, false when the
    // status is lost (SIGCHLD ignored by the application).
    bool Wait(int* status) {
        if (pid_ <= 0) return false;
        int st = 0;
        pid_t r;
        do {
            r = ::waitpid(pid_, &st, 0);
        } while (r < 0 && errno == EINTR);
        pid_ = -1;
        if (r < 0) return false;
        if (status) *status = st;
        return true;
    }

    // Waits up to `limit` for the child to end by itself, then kills it.
    bool WaitAtMost(std::chrono::milliseconds limit, int* status, bool& killed) {
        killed = false;
        const auto until = Clock::now() + limit;
        while (pid_ > 0) {
            int st = 0;
            const pid_t r = ::waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                if (status) *status = st;
                return true;
            }
            if (r < 0 && errno != EINTR) {
                pid_ = -1;
                return false;
            }
            if (Clock::now() >= until) {
                killed = true;
                Kill();
                return false;
            }
            ::usleep(1000);
        }
        return false;
    }

private:
    pid_t pid_;
    int data_;
    int err_;
};

// The last line the child wrote to stderr, for the error message.
std::string LastLine(const std::string& tail) {
    std::string last;
    std::size_t begin = 0;
    while (begin < tail.size()) {
        std::size_t end = tail.find('\n', begin);
        if (end == std::string::npos) end = tail.size();
        std::string line;
        for (std::size_t i = begin; i < end && line.size() < 200; ++i) {
            const unsigned char c = static_cast<unsigned char>(tail[i]);
            if (c == '\r') continue;
            line.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        if (!line.empty()) last = std::move(line);
        begin = end + 1;
    }
    return last;
}

std::string Seconds(std::chrono::milliseconds ms) {
    char text[32];
    if (ms.count() % 1000 == 0)
        std::snprintf(text, sizeof text, "%lld seconds", static_cast<long long>(ms.count() / 1000));
    else
        std::snprintf(text, sizeof text, "%.1f seconds", ms.count() / 1000.0);
    return text;
}

// Reassembles messages from the bytes of the data pipe. Rows are read into
// the sink's storage, everything else into a buffer of its own.
class MessageAssembler {
public:
    explicit MessageAssembler(MessageSink& sink) : sink_(sink) {}

    // Reads what is available from `fd`; returns false at end of file.
    // Complete messages go to `deliver`. Throws std::runtime_error on a
    // malformed stream.
    template <typename Deliver>
    bool ReadFrom(int fd, Deliver&& deliver) {
        for (;;) {
            char* dst;
            std::size_t want;
            if (headerGot_ < kMessageHeaderSize) {
                dst = header_ + headerGot_;
                want = kMessageHeaderSize - headerGot_;
            } else {
                dst = payload_ + payloadGot_;
                want = size_ - payloadGot_;
            }
            ssize_t n = 0;
            if (want > 0) {
                n = ::read(fd, dst, want);
                if (n < 0) {
                    if (errno == EINTR) continue;
                    if (errno == EAGAIN) return true;
                    throw std::runtime_error(std::string("reading from the database reader failed: ") + std::strerror(errno));
                }
                if (n == 0) {
                    if (headerGot_ != 0) throw std::runtime_error("the database reader's report breaks off in the middle");
                    return false;
                }
            }
            if (headerGot_ < kMessageHeaderSize) {
                headerGot_ += static_cast<std::size_t>(n);
                if (headerGot_ < kMessageHeaderSize) continue;
                const auto* b = reinterpret_cast<const unsigned char*>(header_);
                size_ = b[1] | (b[2] << 8) | (b[3] << 16) | (std::uint32_t(b[4]) << 24);
                kind_ = static_cast<MessageKind>(header_[0]);
                if (size_ > kMaxPayload) throw std::runtime_error("the database reader sent a message of impossible size");
                if (kind_ == MessageKind::Rows) {
                    payload_ = sink_.RowStorage(size_);
                } else {
                    if (size_ > (1u << 24)) throw std::runtime_error("the database reader sent a message of impossible size");
                    buffer_.resize(size_);
                    payload_ = buffer_.data();
                }
                payloadGot_ = 0;
            } else {
                payloadGot_ += static_cast<std::size_t>(n);
            }
            if (payloadGot_ == size_) {
                headerGot_ = 0;
                deliver(kind_, const_cast<const char*>(payload_), size_);
                return true;  // let the caller look at the clock and stderr
            }
            if (n > 0 && static_cast<std::size_t>(n) < want) return true;  // pipe drained
        }
    }

private:
    MessageSink& sink_;
    char header_[kMessageHeaderSize] = {};
    std::size_t headerGot_ = 0;
    MessageKind kind_{};
    std::uint32_t size_ = 0;
    char* payload_ = nullptr;
    std::size_t payloadGot_ = 0;
    std::string buffer_;
};

std::string FailureMessage(const ReaderRequest& request, const std::string& path, ReaderFailure failure,
                           const std::string& detail) {
    switch (failure) {
    case ReaderFailure::NotAccess: return "The file " + path + " is not an Access database.";
    case ReaderFailure::NoCatalog: return Damaged(path, "its list of tables cannot be read");
    case ReaderFailure::NoTable:
        return "The table \"" + request.table + "\" does not exist in the listing database " + path + "." +
               (detail.empty() ? std::string(" The database has no tables.")
                               : " Its tables are: " + detail + ".");
    case ReaderFailure::Damaged: return Damaged(path, detail);
    case ReaderFailure::Unreadable: return "The listing database " + path + " cannot be read: " + detail + ".";
    }
    return Damaged(path, "the database reader reported an unknown failure");
}

} // namespace

void RunReader(const ReaderRequest& request, const std::string& displayPath, MessageSink& sink) {
    int data[2];
    int err[2];
    if (::pipe2(data, O_CLOEXEC) != 0)
        throw Error("Cannot start reading the listing database " + displayPath + ": " + std::strerror(errno) + ".");
    if (::pipe2(err, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(data[0]);
        ::close(data[1]);
        throw Error("Cannot start reading the listing database " + displayPath + ": " + std::strerror(e) + ".");
    }
    ::fcntl(data[0], F_SETPIPE_SZ, 1 << 20);  // fewer switches between the two; a smaller pipe works too
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(data[0]);
        ::close(err[0]);
        ChildMain(request, data[1], err[1], parent);
    }
    ::close(data[1]);
    ::close(err[1]);
    if (pid < 0) {
        const int e = errno;
        ::close(data[0]);
        ::close(err[0]);
        throw Error("Cannot start reading the listing database " + displayPath + ": " + std::strerror(e) + ".");
    }
    Child child(pid, data[0], err[0]);
    ::fcntl(child.Err(), F_SETFL, ::fcntl(child.Err(), F_GETFL) | O_NONBLOCK);
    ::fcntl(child.Data(), F_SETFL, ::fcntl(child.Data(), F_GETFL) | O_NONBLOCK);

    const std::chrono::milliseconds timeout = ReaderTimeout();
    std::string stderrTail;
    auto drainErr = [&] {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(child.Err(), chunk, sizeof chunk);
            if (n > 0) {
                stderrTail.append(chunk, static_cast<std::size_t>(n));
                if (stderrTail.size() > 2 * kStderrKeep) stderrTail.erase(0, stderrTail.size() - kStderrKeep);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) child.CloseErr();
            return;
        }
    };
    auto withStderr = [&](std::string what) {
        const std::string line = LastLine(stderrTail);
        if (!line.empty()) what += " (last message: \"" + line + "\")";
        return what;
    };

    MessageAssembler assembler(sink);
    bool sawHeader = false;
    bool ended = false;
    bool failed = false;
    ReaderFailure failure{};
    std::string failureDetail;
    std::uint64_t rowsSeen = 0;
    std::string malformed;

    auto deliver = [&](MessageKind kind, const char* payload, std::uint32_t size) {
        if (ended || failed) throw std::runtime_error("the database reader sent more after its end");
        PayloadReader in(payload, size);
        switch (kind) {
        case MessageKind::Error: {
            std::uint8_t code;
            std::string_view text;
            if (!in.U8(code) || !in.Text(text) || !in.AtEnd() || code < 1 || code > 5)
                throw std::runtime_error("the database reader sent a malformed error report");
            failed = true;
            failure = static_cast<ReaderFailure>(code);
            failureDetail.assign(text);
            return;
        }
        case MessageKind::End: {
            std::uint64_t total;
            if (!in.U64(total) || !in.AtEnd() || total != rowsSeen)
                throw std::runtime_error("the database reader's row count does not add up");
            if (!request.table.empty() && !sawHeader) throw std::runtime_error("the database reader sent no columns");
            ended = true;
            return;
        }
        case MessageKind::Tables:
            if (!request.table.empty()) throw std::runtime_error("the database reader sent a message out of place");
            break;
        case MessageKind::Header:
            if (request.table.empty() || sawHeader) throw std::runtime_error("the database reader sent a message out of place");
            sawHeader = true;
            break;
        case MessageKind::Rows: {
            std::uint32_t rows;
            if (!sawHeader || !in.U32(rows)) throw std::runtime_error("the database reader sent rows out of place");
            rowsSeen += rows;
            break;
        }
        default: throw std::runtime_error("the database reader sent a message of unknown kind");
        }
        sink.Receive(kind, payload, size);
    };

    auto lastProgress = Clock::now();
    try {
        while (child.Data() >= 0) {
            const auto now = Clock::now();
            if (now - lastProgress >= timeout) {
                child.Kill();
                drainErr();
                throw Error(Damaged(displayPath, withStderr("reading it made no progress for " + Seconds(timeout))));
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(timeout - (now - lastProgress));
            pollfd fds[2] = {{child.Data(), POLLIN, 0}, {child.Err(), POLLIN, 0}};
            const int nfds = child.Err() >= 0 ? 2 : 1;
            const int r = ::poll(fds, nfds, static_cast<int>(std::max<long long>(1, left.count())));
            if (r < 0) {
                if (errno == EINTR) continue;
                throw Error(Damaged(displayPath, std::string("watching the database reader failed: ") + std::strerror(errno)));
            }
            if (nfds == 2 && fds[1].revents) drainErr();
            if (fds[0].revents) {
                if (!assembler.ReadFrom(child.Data(), deliver)) child.CloseData();
                lastProgress = Clock::now();
            }
        }
    } catch (const std::runtime_error& e) {
        if (dynamic_cast<const Error*>(&e)) throw;
        malformed = e.what();
    }

    // The data pipe is closed: the reader has ended or is ending.
    int status = 0;
    bool killed = false;
    bool haveStatus;
    if (!malformed.empty()) {
        child.Kill();
        haveStatus = false;
    } else {
        haveStatus = child.WaitAtMost(timeout, &status, killed);
    }
    while (child.Err() >= 0) {
        pollfd fd{child.Err(), POLLIN, 0};
        if (::poll(&fd, 1, 100) <= 0) break;
        drainErr();
    }
    if (!malformed.empty()) throw Error(Damaged(displayPath, withStderr(malformed)));
    if (killed) throw Error(Damaged(displayPath, withStderr("the database reader did not end")));
    if (haveStatus && WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const char* name = ::strsignal(sig);
        throw Error(Damaged(displayPath, withStderr("the database reader crashed on it (signal " + std::to_string(sig) +
                                                    (name ? std::string(", ") + name : std::string()) + ")")));
    }
    if (haveStatus && WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        const int code = WEXITSTATUS(status);
        throw Error(Damaged(displayPath, withStderr(code == 5 ? std::string("the database reader ran out of memory")
                                                              : "the database reader stopped with status " + std::to_string(code))));
    }
    if (failed) throw Error(FailureMessage(request, displayPath, failure, failureDetail));
    if (!ended) throw Error(Damaged(displayPath, withStderr("the database reader ended without finishing its report")));
}

} // namespace detail
} // namespace brevan::dao
