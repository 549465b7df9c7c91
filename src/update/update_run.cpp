#include "update/update_run.h"

#include "desktop/events.h"
#include "desktop/trap.h"
#include "os/process.h"

#include <chrono>

namespace brevan {
namespace {

// How long each pass of the wait sleeps on the updater's end before the
// window events run again: short enough for a live window, long enough not
// to keep a processor core busy for the minutes an update takes.
constexpr std::chrono::milliseconds kPollWait{10};

} // namespace

std::optional<std::int32_t> RunAndWait(const std::string& commandPath, std::int16_t windowStyle, bool pumpEvents) {
    std::int32_t exitCode = 0;
    const bool ran = Trapped([&] {
        Process process = Process::Start(commandPath, windowStyle);
        do {
            if (pumpEvents) DoEvents();
            exitCode = process.ExitCode(kPollWait);
        } while (exitCode == kStillActive);
        process.Close();
    });
    if (!ran) return std::nullopt;
    return exitCode;
}

} // namespace brevan
