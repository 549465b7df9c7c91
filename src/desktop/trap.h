#pragma once
// The error trap of an action that a button or a switch starts.
#include <functional>

namespace brevan {

// Runs `action`. An exception that escapes it ends it and is shown in one
// message box (MsgBox): a brevan::Error or other std::exception by its
// description, lack of memory as such. Returns true when the action ran to
// its end, false when a message was shown for it. Raises nothing.
bool Trapped(const std::function<void()>& action);

}  // namespace brevan
