#pragma once
// Start-up: checks the XML library, loads the settings from the INI file and
// either shows the main window (no arguments) or runs the switch's action.
namespace brevan {

// argv[0] is ignored (the INI path comes from the executable's real path);
// the rest, joined by single blanks, is the argument text. Returns the exit
// status: in the unattended mode 0 on success and 1 when a failure message
// was shown.
int Main(int argc, char** argv);

} // namespace brevan
