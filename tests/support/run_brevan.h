// Runs the real brevan executable the way a scheduled job does: a copy of it
// in a folder of its own with its INI file beside it, no display, messages
// on standard error.
#pragma once

#include "support/temp_folder.h"

#include <string>
#include <vector>

#include "jet4/jet4_writer.h"

namespace testsupport {

struct RunResult {
    int status = -1;     // exit status, or 128 + signal
    std::string output;  // standard output
    std::string errors;  // standard error
    // The messages the run showed (each printed as "Brevan: <text>").
    std::vector<std::string> messages() const;
};

// Runs `argv` (argv[0] looked up in PATH when it has no slash) with `input`
// on standard input (/dev/null when empty) and without DISPLAY,
// WAYLAND_DISPLAY or QT_QPA_PLATFORM; `environment` entries ("NAME=value")
// are set on top. Waits at most `timeoutSeconds` (then kills it and fails the
// test). A program that cannot be started ends with status 127.
RunResult RunProgram(const std::vector<std::string>& argv, int timeoutSeconds = 120,
                     const std::vector<std::string>& environment = {}, const std::string& input = {});

// A folder holding a copy of the executable (or of `program`, under the
// executable's name), with its database reader beside it.
class Installation {
public:
    explicit Installation(const std::string& program = BREVAN_EXE);
    std::string exe() const { return folder_ / "brevan"; }
    std::string iniPath() const { return folder_ / "brevan.ini"; }
    const TempFolder& folder() const { return folder_; }

    // Writes brevan.ini with the three paths.
    void WriteIni(const std::string& database, const std::string& updater, const std::string& output) const;

    // Runs the copy with `args` as RunProgram does.
    RunResult Run(const std::vector<std::string>& args, int timeoutSeconds = 120,
                  const std::vector<std::string>& environment = {}) const;

private:
    TempFolder folder_;
};

// Waits for the child `pid` at most `timeoutSeconds` (then kills it and
// fails the test); returns its exit status, or 128 + the signal that ended it.
int WaitForExit(int pid, int timeoutSeconds);

}  // namespace testsupport
