#pragma once
// The command line: the two switches of the unattended mode, help and
// version, and what an argument that is neither means.
#include <string>

namespace brevan {

enum class Command {
    Window,   // no argument: the main window
    Update,   // "/U...": the update run, then the conversion
    Convert,  // "/W...": the conversion
    Help,     // "--help" or "-h"
    Version,  // "--version"
    Unknown,  // anything else: a usage error, status 2
};

// The argument text is the arguments joined by single blanks. For /U and /W
// only the first two characters count, case-sensitively: "/U /W" updates and
// converts once, "/Wxyz" converts, "/w" is Unknown.
Command ParseCommand(const std::string& argumentText);

// The exit statuses of the unattended mode.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The one line standard error gets for an Unknown argument text. The text is
// quoted with its control characters escaped (C0 and DEL as \n, \t, \r or
// \xHH, C1 as \uHHHH), as are bytes that are not UTF-8 (\xHH), a backslash
// and a quote; other characters stand as they are.
std::string UsageErrorLine(const std::string& argumentText);

// The text --help prints: the switches, the exit statuses, the INI file in
// use (with `iniNote` after it when not empty) and where the guide goes.
std::string HelpText(const std::string& iniPath, const std::string& iniNote, const std::string& outputFolder);

}  // namespace brevan
