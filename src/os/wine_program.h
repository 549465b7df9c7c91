#pragma once
// Windows programs on Linux: telling one apart, finding Wine to run it, and
// the environment Wine runs it in.
#include <string>
#include <vector>

namespace brevan {

// True when `path` names a regular file (links followed) whose first two
// bytes are "MZ", the mark of a DOS or Windows executable. False for
// anything else: a missing or unreadable file, a folder, a file shorter than
// two bytes. Never blocks and never opens anything but a regular file: the
// type is checked before opening, the file is opened with O_NONBLOCK and
// checked again with fstat (so a file swapped for a FIFO or device in between
// is not read).
bool IsWindowsExecutable(const std::string& path);

// The Wine program to run Windows executables with, given the values of
// $WINE and $PATH (empty when unset). When wineVar is not empty it alone is
// considered: a value containing '/' is taken as the path itself, any other
// is searched for on pathVar. Otherwise "wine" is searched for on pathVar.
// The search tries each ':'-separated folder of pathVar in order; empty
// entries are skipped, so the current folder is never searched unasked.
// Only a regular file (links followed) that this process may execute counts.
// Returns its path as found (folder + "/" + name, or wineVar as given), or
// "" when there is none.
std::string FindWine(const std::string& wineVar, const std::string& pathVar);

// The environment for a Wine child: `environment` (entries "NAME=value", in
// order, unchanged) followed by "WINEDEBUG=-all" unless an entry already sets
// WINEDEBUG, whatever its value, the empty one included. Wine's debug
// channels otherwise fill a cron mail with lines no user can act on.
std::vector<std::string> WineChildEnvironment(const std::vector<std::string>& environment);

}  // namespace brevan
