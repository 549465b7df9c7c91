#pragma once
// Child processes: start a program, ask whether it has ended, release it.
#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace brevan {

// The exit code reported while the process is still running. A Linux exit
// status never reaches it (0..255, or 128 + signal number).
inline constexpr std::int32_t kStillActive = 259;

// One started program. Releasing it (Close or the destructor) reaps the
// child when it has ended; a child still running is left to run on.
class Process {
public:
    // Starts the program at `path` with posix_spawn: `path` is the whole
    // command, with no shell, nothing quoted and no argument but itself
    // (argv = {path}), and no search of PATH. The child gets this process's
    // environment, working folder and three standard streams; no other
    // descriptor, and default signal handling with nothing blocked.
    // `windowStyle` has no meaning for a Linux program and is ignored.
    // Throws brevan::Error when the program cannot be started: "Cannot start
    // '<path>': <the system's reason>" (missing file, no execute permission,
    // a folder, not an executable format), or "Cannot start a program: its
    // path is empty".
    static Process Start(const std::string& path, std::int16_t windowStyle);

    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    pid_t Id() const { return pid_; }

    // The exit code once the program has ended: its exit status, or 128 +
    // the signal that ended it. kStillActive while it runs. Waits at most
    // `wait` for the end (woken at once when it comes), so a polling loop
    // need not spin. When the child cannot be asked about any more (it was
    // reaped elsewhere) the result is 0.
    std::int32_t ExitCode(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

    // Releases the process: reaps it when it has ended. Safe to call twice.
    void Close();

private:
    Process(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
    bool TryReap();

    pid_t pid_ = -1;
    int pidfd_ = -1;  // readable once the child has ended; -1 where the kernel has none
    bool ended_ = false;
    std::int32_t exitCode_ = 0;
};

} // namespace brevan
