#pragma once
// Letting pending window events run from inside a long operation.
#include <functional>

namespace brevan {

// Runs the window events that are waiting (QCoreApplication::processEvents)
// and returns; does nothing when no application object exists, as in a run
// without a display. Must be called on the thread that owns the application.
void DoEvents();

// Test seam: while set, `hook` is called on every DoEvents, after the
// pending events. Pass an empty function to remove it.
void SetDoEventsHook(std::function<void()> hook);

}  // namespace brevan
