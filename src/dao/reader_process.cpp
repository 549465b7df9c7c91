#include "dao/reader_process.h"

#include "base/error.h"
#include "dao/dao.h"
#include "dao/protocol/assembler.h"
#include "dao/protocol/stream_check.h"
#include "os/executable_path.h"
#include "os/process.h"
#include "os/program_setting.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace brevan::dao {

namespace {
std::atomic<long long> g_timeoutMs{20000};

ProgramSetting& ReaderSetting() {
    static ProgramSetting program;
    return program;
}
}  // namespace

std::chrono::milliseconds SetReaderTimeout(std::chrono::milliseconds timeout) {
    return std::chrono::milliseconds(g_timeoutMs.exchange(timeout.count()));
}

void SetReaderProgram(std::string path) { ReaderSetting().Set(std::move(path)); }

namespace detail {

std::chrono::milliseconds ReaderTimeout() { return std::chrono::milliseconds(g_timeoutMs.load()); }

std::string ReaderProgram() {
    if (std::string program = ReaderSetting().Get(); !program.empty()) return program;
    const std::optional<ExecutablePath> self = FindExecutablePath("", "");
    return CompanionProgram(self ? self->path : "brevan", "brevan-reader");
}

namespace {

using Clock = std::chrono::steady_clock;
using protocol::MessageKind;
using protocol::ReaderExit;
using protocol::ReaderFailure;
using protocol::StreamFault;

constexpr std::size_t kStderrKeep = 4096;
// How long a killed reader is waited for. A reader stuck in the kernel (a
// read from a hung network share) dies only when that read returns; it is
// then left behind rather than hanging the run.
constexpr std::chrono::milliseconds kKillGrace{3000};
// How much longer than asked a wait may take before it counts as overslept.
constexpr std::chrono::milliseconds kOversleep{2000};

std::string Damaged(const Naming& naming, const std::string& what) {
    return "The " + naming.Label() + " is damaged or unreadable: " + what + ".";
}

// A pipe whose ends are closed on every path.
struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) read = fds[0], write = fds[1];
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool Open() const { return read >= 0; }
    void CloseRead() {
        if (read >= 0) ::close(read);
        read = -1;
    }
    void CloseWrite() {
        if (write >= 0) ::close(write);
        write = -1;
    }
};

// The running reader: stopped and waited for (within kKillGrace) unless it
// has been waited for already.
class ReaderChild {
public:
    explicit ReaderChild(Process process) : process_(std::move(process)) {}
    ReaderChild(const ReaderChild&) = delete;
    ReaderChild& operator=(const ReaderChild&) = delete;
    ~ReaderChild() {
        if (!done_) Stop();
    }

    // Kills the reader and waits for its end a little.
    void Stop() {
        done_ = true;
        process_.Kill();
        process_.Wait(kKillGrace);
    }

    // Waits up to `limit` for the reader to end by itself. Its status, or
    // nothing after the limit (the reader is then killed).
    std::optional<ExitStatus> WaitAtMost(std::chrono::milliseconds limit) {
        done_ = true;
        if (auto status = process_.Wait(limit)) return status;
        Stop();
        return std::nullopt;
    }

private:
    Process process_;
    bool done_ = false;
};

// The last line the reader wrote to stderr, for the error message.
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

std::string FailureMessage(const ReaderRequest& request, const Naming& naming, ReaderFailure failure,
                           const std::string& detail) {
    const std::string the = "The " + naming.Label();
    switch (failure) {
    case ReaderFailure::NotAccess: return "The file " + naming.shown + " is not an Access database.";
    case ReaderFailure::NoCatalog: return Damaged(naming, "its list of tables cannot be read");
    case ReaderFailure::NoTable:
        return "The table \"" + request.table + "\" does not exist in the " + naming.Label() + "." +
               (detail.empty() ? std::string(" The database has no tables.") : " Its tables are: " + detail + ".");
    case ReaderFailure::Damaged: return Damaged(naming, detail);
    case ReaderFailure::Unreadable: return the + " cannot be read: " + detail + ".";
    case ReaderFailure::Missing: return the + " does not exist.";
    case ReaderFailure::Folder: return the + " is a folder, not a database file.";
    case ReaderFailure::NotRegular: return the + " is not a regular file.";
    }
    return Damaged(naming, "the database reader reported an unknown failure");
}

// What an exit status other than Completed says.
std::string ExitMessage(const ExitStatus& status) {
    if (status.signal != 0) {
        const char* name = ::strsignal(status.signal);
        return "the database reader crashed on it (signal " + std::to_string(status.signal) +
               (name ? std::string(", ") + name : std::string()) + ")";
    }
    if (status.code == static_cast<int>(ReaderExit::OutOfMemory)) return "the database reader ran out of memory";
    return "the database reader stopped with status " + std::to_string(status.code);
}

}  // namespace

FileIdentity RunReader(const ReaderRequest& request, const Naming& naming, MessageSink& sink) {
    Pipe data;
    Pipe err;
    if (!data.Open() || !err.Open())
        throw Error("Cannot start reading the " + naming.Label() + ": " + std::strerror(errno) + ".");
    ::fcntl(data.read, F_SETPIPE_SZ, 1 << 20);  // fewer switches between the two; a smaller pipe works too

    const std::string program = ReaderProgram();
    // The reader clears what changes how libmdb finds files and decodes text.
    SpawnRequest spawn{program, {std::to_string(::getpid()), request.path}, std::nullopt, {}};
    if (!request.table.empty()) {
        spawn.arguments.push_back(request.table);
        spawn.arguments.insert(spawn.arguments.end(), request.columns.begin(), request.columns.end());
    }
    // libmdb prints hex dumps to stdout and complaints to stderr.
    spawn.descriptors = {
        {STDIN_FILENO, -1}, {STDOUT_FILENO, -1}, {STDERR_FILENO, err.write}, {protocol::kStreamDescriptor, data.write}};
    Spawned started = Process::Spawn(spawn);
    data.CloseWrite();
    err.CloseWrite();
    if (!started.process)
        throw Error("Cannot read the " + naming.Label() + ": the database reader " + program +
                    " cannot be started: " + std::strerror(started.error) + ".");
    ReaderChild child(std::move(*started.process));
    ::fcntl(err.read, F_SETFL, ::fcntl(err.read, F_GETFL) | O_NONBLOCK);
    ::fcntl(data.read, F_SETFL, ::fcntl(data.read, F_GETFL) | O_NONBLOCK);

    const std::chrono::milliseconds timeout = ReaderTimeout();
    std::string stderrTail;
    auto drainErr = [&] {
        char chunk[4096];
        while (err.read >= 0) {
            const ssize_t n = ::read(err.read, chunk, sizeof chunk);
            if (n > 0) {
                stderrTail.append(chunk, static_cast<std::size_t>(n));
                if (stderrTail.size() > 2 * kStderrKeep) stderrTail.erase(0, stderrTail.size() - kStderrKeep);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) err.CloseRead();
            return;
        }
    };
    auto withStderr = [&](std::string what) {
        const std::string line = LastLine(stderrTail);
        if (!line.empty()) what += " (last message: \"" + line + "\")";
        return what;
    };
    auto malformed = [&](StreamFault fault) {
        child.Stop();
        drainErr();
        return Error(Damaged(naming, withStderr(std::string(protocol::Describe(fault)))));
    };

    protocol::MessageAssembler assembler([&sink](std::uint32_t size) { return sink.RowStorage(size); });
    protocol::StreamChecker checker(!request.table.empty());
    std::optional<protocol::Message> message;
    auto lastProgress = Clock::now();
    while (data.read >= 0) {
        const auto now = Clock::now();
        if (now - lastProgress >= timeout) {
            child.Stop();
            drainErr();
            throw Error(Damaged(naming, withStderr("reading it made no progress for " + Seconds(timeout))));
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(timeout - (now - lastProgress));
        pollfd fds[2] = {{data.read, POLLIN, 0}, {err.read, POLLIN, 0}};
        const int nfds = err.read >= 0 ? 2 : 1;
        const int r = ::poll(fds, nfds, static_cast<int>(std::max<long long>(1, left.count())));
        // A wait that ended long after it should have (the machine was
        // suspended, or both processes were stopped) says nothing about the
        // reader: it gets a fresh window before it is judged.
        if (Clock::now() - now > left + kOversleep) lastProgress = Clock::now();
        if (r < 0) {
            if (errno == EINTR) continue;
            throw Error(Damaged(naming, std::string("watching the database reader failed: ") + std::strerror(errno)));
        }
        if (nfds == 2 && fds[1].revents) drainErr();
        if (!fds[0].revents) continue;
        // Read what is there, a message at a time, then look at the clock
        // and stderr again.
        for (;;) {
            const std::span<char> want = assembler.Want();
            const ssize_t n = ::read(data.read, want.data(), want.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) break;
            if (n < 0) throw malformed(StreamFault::BreaksOff);
            if (n == 0) {
                if (const StreamFault fault = assembler.Finish(); fault != StreamFault::None) throw malformed(fault);
                data.CloseRead();
                break;
            }
            if (const StreamFault fault = assembler.Got(static_cast<std::size_t>(n), message);
                fault != StreamFault::None)
                throw malformed(fault);
            if (!message) {
                lastProgress = Clock::now();  // part of a message: rows are coming
                continue;
            }
            const std::uint64_t pagesBefore = checker.Pages();
            if (const StreamFault fault = checker.Accept(message->kind, message->payload, message->size);
                fault != StreamFault::None)
                throw malformed(fault);
            // Progress is rows and pages: a reader that only says it is still
            // there while reading nothing new makes none.
            if (message->kind != MessageKind::Progress || checker.Pages() > pagesBefore) lastProgress = Clock::now();
            if (message->kind == MessageKind::Tables || message->kind == MessageKind::Header ||
                message->kind == MessageKind::Rows) {
                if (const StreamFault fault = sink.Receive(message->kind, message->payload, message->size);
                    fault != StreamFault::None)
                    throw malformed(fault);
            }
            break;
        }
    }

    // The stream is closed: the reader has ended or is ending.
    const std::optional<ExitStatus> status = child.WaitAtMost(timeout);
    while (err.read >= 0) {
        pollfd fd{err.read, POLLIN, 0};
        if (::poll(&fd, 1, 100) <= 0) break;
        drainErr();
    }
    if (!status) throw Error(Damaged(naming, withStderr("the database reader did not end")));
    if (status->signal != 0 || status->code != static_cast<int>(ReaderExit::Completed))
        throw Error(Damaged(naming, withStderr(ExitMessage(*status))));
    if (checker.Failed()) throw Error(FailureMessage(request, naming, checker.Failure(), checker.FailureDetail()));
    if (!checker.Ended())
        throw Error(Damaged(naming, withStderr("the database reader ended without finishing its report")));
    return FileIdentity{checker.Device(), checker.Inode()};
}

}  // namespace detail
}  // namespace brevan::dao
