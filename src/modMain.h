#pragma once
// Start-up: reads the command line, finds the settings beside the program or
// in the user's configuration folder, checks the XML library, loads the
// settings and either shows the main window (no arguments) or runs the
// switch's action.
namespace brevan {

// argv[0] serves only where /proc is not mounted, to find the program's own
// file; the rest, joined by single blanks, is the argument text. Returns the
// exit status (app/command_line.h): 0 on success, 1 when the run failed and
// a message was shown, 2 for an unknown argument.
int Main(int argc, char** argv);

}  // namespace brevan
