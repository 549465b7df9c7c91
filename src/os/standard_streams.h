#pragma once
// The three standard streams of a program started with some of them closed
// (some schedulers, `exec >&-` in a wrapper script).
namespace brevan {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// descriptors the program opens later (the pipes to its database reader) are
// never taken for standard streams. Call it first thing in main.
void OpenClosedStandardStreams();

}  // namespace brevan
