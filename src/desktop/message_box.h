#pragma once
// Message boxes: one OK button, caption "Brevan". With a display this is a
// modal QMessageBox; without one (no DISPLAY or WAYLAND_DISPLAY, e.g. a cron
// job) the text goes to standard error as one line "Brevan: <text>", with
// control characters shown as '?', and no GUI is started.
#include <functional>
#include <string>

namespace brevan {

// Shows `text` and returns when the user has closed the box.
void MsgBox(const std::string& text);

// True when a window system is reachable (DISPLAY or WAYLAND_DISPLAY set, or
// QT_QPA_PLATFORM names a platform that needs none, such as "offscreen").
bool DisplayAvailable();

// Test seam: while set, every message goes to this function instead of a
// box or standard error. Pass an empty function to restore the default.
void SetMessageSink(std::function<void(const std::string&)> sink);

}  // namespace brevan
