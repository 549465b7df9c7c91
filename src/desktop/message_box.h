#pragma once
// Message boxes: one OK button, caption "Brevan". With a display this is a
// modal QMessageBox; without one (no DISPLAY or WAYLAND_DISPLAY, e.g. a cron
// job) the text goes to standard error as one line "Brevan: <text>", with
// control characters shown as '?', and no GUI is started.
#include <functional>
#include <string>

class QWidget;

namespace brevan {

// Shows `text` and returns when the user has closed the box, which belongs
// to MessageOwner(): no task-bar entry of its own, in front of that window,
// with its icon. A box whose owner is deleted while it is up closes with it.
void MsgBox(const std::string& text);

// Names the program's main window (nullptr: none), the owner of a box shown
// while none of the program's windows is active (as after another box has
// just closed).
void SetMainWindow(QWidget* window);

// The window a box shown now belongs to: the active window, else the main
// window while it exists and is shown, else none.
QWidget* MessageOwner();

// True when a window system is reachable (DISPLAY or WAYLAND_DISPLAY set, or
// QT_QPA_PLATFORM names a platform that needs none, such as "offscreen").
bool DisplayAvailable();

// Test seam: while set, every message goes to this function instead of a
// box or standard error. Pass an empty function to restore the default.
void SetMessageSink(std::function<void(const std::string&)> sink);

}  // namespace brevan
