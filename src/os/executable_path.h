#pragma once
// Where the running program's own file lies: its INI file and its database
// reader are found beside it.
#include <optional>
#include <string>

namespace brevan {

struct ExecutablePath {
    std::string path;           // absolute
    bool fromArgument = false;  // found through argv[0], /proc being unavailable
};

// The running program's file: the link /proc/self/exe; where /proc is not
// mounted (some containers), argv[0] as the shell found it: a name with a
// slash taken against the working folder, a bare name searched on
// `pathVariable` (the first executable regular file). Nothing when neither
// works.
std::optional<ExecutablePath> FindExecutablePath(const std::string& argv0, const std::string& pathVariable);

// A program installed with `executable`: beside it (the build folder, a copy
// of its own), else in ../libexec/brevan/ from it (an installed copy). The
// path beside it when neither exists, for the message that it is missing.
std::string CompanionProgram(const std::string& executable, const std::string& name);

}  // namespace brevan
