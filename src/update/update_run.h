#pragma once
// The guide update run's wait: start the updater and wait for it with window
// events still running.
#include <cstdint>
#include <optional>
#include <string>

namespace brevan {

// Window style 1: a normal window with the focus (kept for the caller's sake;
// a Linux child process has no window style).
inline constexpr std::int16_t vbNormalFocus = 1;

// Starts `commandPath` as it is (no shell, no arguments), waits until it has
// ended (letting window events run between polls when pumpEvents is true)
// and returns its exit code. A Windows program that Linux cannot execute
// (a readable file that starts with "MZ", whose start fails with ENOEXEC or,
// whatever its mode bits, EACCES) is started through Wine instead: `wine <commandPath>`, wine taken from $WINE or found
// on PATH, with WINEDEBUG=-all unless the environment sets WINEDEBUG. A start that fails shows one message, naming the
// program `shown` (empty: the path), and gives nothing.
// `windowStyle` is taken as the Windows call takes it; Linux has no such
// thing, so it changes nothing.
std::optional<std::int32_t> RunAndWait(const std::string& commandPath, std::int16_t windowStyle, bool pumpEvents,
                                       const std::string& shown = "");

// Where the updater's standard output and standard error go.
enum class UpdaterOutput {
    Ours,             // the streams of this process
    ToStandardError,  // both to our standard error (our standard output carries something else)
    Discarded,        // both to /dev/null
};

// The same start and wait for a program without windows: no events run, the
// updater's streams go where `output` says, and a start that fails raises
// brevan::Error with the message RunAndWait would show.
std::int32_t RunUpdater(const std::string& commandPath, const std::string& shown, UpdaterOutput output);

}  // namespace brevan
