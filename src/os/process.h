#pragma once
// Child processes: the program's one owner of them. Start a program, wait for
// its end (woken at once when it comes), kill it, reap it.
#include <sys/types.h>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brevan {

// The exit code reported while the process is still running. A Linux exit
// status never reaches it (0..255, or 128 + signal number).
inline constexpr std::int32_t kStillActive = 259;

// What to start, and what the child gets.
struct SpawnRequest {
    std::string program;                 // its path: no shell, no search of PATH
    std::vector<std::string> arguments;  // argv[1...]; argv[0] is `program`
    // The child's environment ("NAME=value"); nothing: this process's own.
    std::optional<std::vector<std::string>> environment;
    // Descriptors the child gets: {child's number, ours}, ours -1 meaning
    // /dev/null. The child has 0, 1 and 2 of ours unless given here, and no
    // other descriptor of ours.
    std::vector<std::pair<int, int>> descriptors;
};

// How a process ended: by exit(code) (signal 0) or by a signal (code 0).
struct ExitStatus {
    int code = 0;
    int signal = 0;
};

class Process;

// The outcome of a start: the process, or the system's reason (an errno such
// as ENOENT, EACCES or ENOEXEC) when the program could not be started.
struct Spawned;

// One started program. Releasing it (Close or the destructor) reaps the
// child when it has ended; a child still running is left to run on.
class Process {
public:
    // Starts `request.program` with posix_spawn, with default signal handling
    // and nothing blocked, whatever this process has set up. The start is
    // synchronous: a program that cannot be executed is reported here, never
    // as a child that exits with 127.
    static Spawned Spawn(const SpawnRequest& request);

    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    pid_t Id() const { return pid_; }

    // How the program ended, once it has; nothing while it runs. Waits at
    // most `wait` for the end. A child that cannot be asked about any more
    // (reaped elsewhere, as when SIGCHLD is ignored) counts as ended with
    // code 0.
    std::optional<ExitStatus> Wait(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

    // The exit code once the program has ended: its exit status, or 128 +
    // the signal that ended it; kStillActive while it runs. Waits as Wait.
    std::int32_t ExitCode(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

    // Sends SIGKILL unless the program has ended. The end still has to be
    // waited for: a process in an uninterruptible read (a hung network
    // share) dies only when the read returns.
    void Kill();

    // Releases the process: reaps it when it has ended. Safe to call twice.
    void Close();

private:
    Process(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
    bool TryReap();

    pid_t pid_ = -1;
    int pidfd_ = -1;  // readable once the child has ended; -1 where the kernel has none
    bool ended_ = false;
    ExitStatus status_;
};

// The message of a program that could not be started: "Cannot start
// '<shown>': <the system's reason for `error`>".
std::string CannotStart(const std::string& shown, int error);

struct Spawned {
    std::optional<Process> process;  // empty when the start failed
    int error = 0;                   // then the system's reason (errno)
};

}  // namespace brevan
