#pragma once
// Where the running program's own file lies, and the programs that come with
// it (the database reader).
#include <optional>
#include <string>

namespace brevan {

struct ExecutablePath {
    std::string path;           // absolute, with every symbolic link resolved
    bool fromArgument = false;  // found through argv[0], /proc being unavailable
};

// The running program's file: the link /proc/self/exe; where /proc is not
// mounted (some containers), argv[0] as the shell found it: a name with a
// slash taken against the working folder, a bare name searched on
// `pathVariable` (the first executable regular file), then its links resolved
// as /proc/self/exe resolves them. Nothing when neither works.
std::optional<ExecutablePath> FindExecutablePath(const std::string& argv0, const std::string& pathVariable);

// The path of `name`, a program that comes with `executable`: beside it when
// `executable` is an absolute path and a file of that name is there (the
// build folder, a copy of the user's own);
// else in the folder fixed when Brevan was built, <prefix>/libexec/brevan (an
// installed copy). Never a folder found from the executable's place, which
// another user may be able to write to. The fixed path when neither exists,
// for the message that it is missing.
//
// Throws brevan::Error, naming the file, when the file found may be written
// by anyone but its owner (by all, or by a group other than the owner's
// private group), or belongs to someone other than root or the effective
// user: another user could have put it there to be run as us.
std::string CompanionProgram(const std::string& executable, const std::string& name);

}  // namespace brevan
