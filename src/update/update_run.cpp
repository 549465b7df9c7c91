#include "update/update_run.h"

#include "base/error.h"
#include "desktop/events.h"
#include "desktop/trap.h"
#include "os/process.h"
#include "os/wine_program.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <vector>

extern char** environ;

namespace brevan {
namespace {

// How long each pass of the wait sleeps on the updater's end before the
// window events run again: short enough for a live window, long enough not
// to keep a processor core busy for the minutes an update takes.
constexpr std::chrono::milliseconds kPollWait{10};

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> OurEnvironment() {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) entries.emplace_back(*e);
    return entries;
}

// Starts the updater as the whole command, or a Windows program through
// Wine, the way Wine's own binary-format handler would have.
Process StartUpdater(const std::string& path, const std::string& shown, UpdaterOutput output) {
    if (path.empty()) throw Error("Cannot start a program: its path is empty");
    std::vector<std::pair<int, int>> descriptors;
    if (output == UpdaterOutput::ToStandardError) descriptors = {{1, 2}, {2, 2}};
    if (output == UpdaterOutput::Discarded) descriptors = {{1, -1}, {2, -1}};
    Spawned direct = Process::Spawn(SpawnRequest{path, {}, std::nullopt, descriptors});
    if (direct.process) return std::move(*direct.process);
    // Wine installs Windows programs without the execute bit (mode 0644):
    // those are refused with EACCES rather than ENOEXEC, and are Wine's too.
    const bool maybeWindows = direct.error == ENOEXEC || direct.error == EACCES;
    if (!maybeWindows || !IsWindowsExecutable(path)) throw Error(CannotStart(shown, direct.error));

    const std::string wine = FindWine(Environment("WINE"), Environment("PATH"));
    if (wine.empty())
        throw Error("Cannot start '" + shown +
                    "': it is a Windows program, and Wine is needed to run it, but no wine was found " +
                    (Environment("WINE").empty() ? std::string("on PATH") : "at $WINE (" + Environment("WINE") + ")") +
                    ". Install Debian's wine package.");
    Spawned viaWine = Process::Spawn(SpawnRequest{wine, {path}, WineChildEnvironment(OurEnvironment()), descriptors});
    if (!viaWine.process)
        throw Error("Cannot start '" + shown + "' through Wine ('" + wine +
                    "'): " + std::system_category().message(viaWine.error));
    return std::move(*viaWine.process);
}

std::int32_t StartAndWait(const std::string& commandPath, const std::string& shown, UpdaterOutput output,
                          bool pumpEvents) {
    Process process = StartUpdater(commandPath, shown.empty() ? commandPath : shown, output);
    std::int32_t exitCode = kStillActive;
    do {
        if (pumpEvents) DoEvents();
        exitCode = process.ExitCode(kPollWait);
    } while (exitCode == kStillActive);
    process.Close();
    return exitCode;
}

}  // namespace

std::optional<std::int32_t> RunAndWait(const std::string& commandPath, std::int16_t /*windowStyle*/, bool pumpEvents,
                                       const std::string& shown) {
    std::int32_t exitCode = 0;
    const bool ran = Trapped([&] { exitCode = StartAndWait(commandPath, shown, UpdaterOutput::Ours, pumpEvents); });
    if (!ran) return std::nullopt;
    return exitCode;
}

std::int32_t RunUpdater(const std::string& commandPath, const std::string& shown, UpdaterOutput output) {
    return StartAndWait(commandPath, shown, output, false);
}

}  // namespace brevan
