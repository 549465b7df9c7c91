#pragma once
// The output folder's work in a watched helper program, brevan-folder: the
// lock, the sweep of stale temporaries, the temporary file, its writing and
// its rename. On a network share that stops answering, any of them can block
// in the kernel for ever, beyond the reach of signals (a hard mount); in a
// helper it blocks the helper only, which this process then leaves behind.
//
// The helper gets one end of a socket pair as descriptor 3 and answers in
// lines; this process sends it frames (a 4-byte little-endian length, then
// the bytes; length 0 asks for the commit):
//
//   brevan-folder lock PATH WAIT_MS   "waiting" about every second while
//                                     another holder has the lock, then one
//                                     of the lock answers below; after "held"
//                                     it holds the lock until the socket
//                                     closes
//   brevan-folder save TARGET         "ready [DEVICE INODE]" (the file at
//                                     TARGET, if any) or "fail ERRNO" once the
//                                     temporary file is made; then frames of
//                                     the content; at the commit "done" or
//                                     "fail ERRNO"; a write that fails
//                                     answers "fail ERRNO" at once. A socket
//                                     closed before the commit discards the
//                                     temporary file.
#include "os/process.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brevan {

// How long the folder may leave a step unanswered before it counts as hung:
// with the second a killed helper gets, a run on a share that stops
// answering ends within a minute.
inline constexpr std::chrono::seconds kFolderAnswerWait{55};

// The helper's descriptor for its end of the socket.
inline constexpr int kFolderHelperSocket = 3;

// The lock answers: held, busy, link, folder, not-a-file, others-file, or
// "cannot-open ERRNO".
inline constexpr const char* kAnswerWaiting = "waiting";
inline constexpr const char* kAnswerHeld = "held";
inline constexpr const char* kAnswerBusy = "busy";
inline constexpr const char* kAnswerLink = "link";
inline constexpr const char* kAnswerFolder = "folder";
inline constexpr const char* kAnswerNotAFile = "not-a-file";
inline constexpr const char* kAnswerOthersFile = "others-file";
inline constexpr const char* kAnswerCannotOpen = "cannot-open";
inline constexpr const char* kAnswerReady = "ready";
inline constexpr const char* kAnswerDone = "done";
inline constexpr const char* kAnswerFail = "fail";

// Which helper program the folder's work runs in; empty (the default, as in
// tests that convert in their own process): the work runs in this process.
void SetFolderHelperProgram(std::string path);
std::string FolderHelperProgram();

// One running helper, from this process's side.
class FolderHelper {
public:
    FolderHelper() = default;
    ~FolderHelper();  // Close()
    FolderHelper(const FolderHelper&) = delete;
    FolderHelper& operator=(const FolderHelper&) = delete;

    // Starts FolderHelperProgram() with `arguments`. Returns 0, or the errno
    // of the failed start.
    int Start(const std::vector<std::string>& arguments);

    // The helper's next answer other than "waiting" (which only shows it is
    // alive). Calls `between` (may be empty) about every 50 ms while it
    // waits. Nothing when the helper ended without one, or when it sent
    // nothing for kFolderAnswerWait: then Hung() is true, and the helper has
    // been killed and is left behind if the kernel holds it.
    std::optional<std::string> Answer(const std::function<void()>& between = {});

    // Sends one frame. False when the helper is gone or took nothing for
    // kFolderAnswerWait (then Hung(), as for Answer).
    bool Send(const char* data, std::size_t size);

    bool Hung() const { return hung_; }

    // Closes the socket (the helper ends by itself: a held lock is freed, an
    // uncommitted temporary file removed) and reaps the helper if it has
    // ended; one still running is left to end on its own.
    void Close();

private:
    bool SendAll(const char* data, std::size_t size);
    void GiveUp();

    int socket_ = -1;
    std::optional<Process> process_;
    bool hung_ = false;
    std::string buffer_;  // received bytes not yet returned as lines
};

}  // namespace brevan
