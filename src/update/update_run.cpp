#include "update/update_run.h"

#include "app/settings.h"
#include "convert/xmltv_document.h"
#include "base/error.h"
#include "desktop/events.h"
#include "desktop/message_box.h"
#include "os/process.h"

#include <chrono>
#include <exception>

namespace brevan {
namespace {

// How long each pass of the wait sleeps on the updater's end before the
// window events run again: short enough for a live window, long enough not
// to keep a processor core busy for the minutes an update takes.
constexpr std::chrono::milliseconds kPollWait{10};

} // namespace

std::int32_t RunAndWait(const std::string& commandPath, std::int16_t windowStyle, bool pumpEvents) {
    std::int32_t exitCode = 0;
    try {
        Process process = Process::Start(commandPath, windowStyle);
        do {
            if (pumpEvents) DoEvents();
            exitCode = process.ExitCode(kPollWait);
        } while (exitCode == kStillActive);
        process.Close();
    } catch (const Error& error) {
        MsgBox(error.Description());
    } catch (const std::exception& error) {
        MsgBox(error.what());
    }
    return exitCode;
}

void UpdateAndCreateXmltv() {
    try {
        // A copy: the settings window may change the setting while the wait
        // lets its events run.
        const std::string updaterPath = AppSettings.UpdaterPath;
        RunAndWait(updaterPath, vbNormalFocus, true);  // the updater's exit code says nothing we use
        CreateXmltvFile();
    } catch (const Error& error) {
        MsgBox(error.Description());
    } catch (const std::exception& error) {
        MsgBox(error.what());
    }
}

} // namespace brevan
