#include "os/executable_path.h"

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>

namespace brevan {
namespace {

namespace fs = std::filesystem;

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<ExecutablePath> FindExecutablePath(const std::string& argv0, const std::string& pathVariable) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && self.is_absolute()) return ExecutablePath{self.string(), false};

    if (argv0.empty()) return std::nullopt;
    if (argv0.find('/') != std::string::npos) {
        const fs::path path = fs::absolute(argv0, ec);
        if (ec || !IsExecutableFile(path.string())) return std::nullopt;
        return ExecutablePath{path.lexically_normal().string(), true};
    }
    std::size_t begin = 0;
    while (begin <= pathVariable.size()) {
        std::size_t end = pathVariable.find(':', begin);
        if (end == std::string::npos) end = pathVariable.size();
        const std::string folder = pathVariable.substr(begin, end - begin);
        // An empty entry means the working folder to the shell.
        const fs::path candidate = fs::absolute(fs::path(folder.empty() ? "." : folder) / argv0, ec);
        if (!ec && IsExecutableFile(candidate.string()))
            return ExecutablePath{candidate.lexically_normal().string(), true};
        begin = end + 1;
    }
    return std::nullopt;
}

std::string CompanionProgram(const std::string& executable, const std::string& name) {
    const fs::path folder = fs::path(executable).parent_path();
    const fs::path beside = folder / name;
    std::error_code ec;
    if (fs::exists(beside, ec)) return beside.string();
    const fs::path installed = folder.parent_path() / "libexec" / "brevan" / name;
    return fs::exists(installed, ec) ? installed.string() : beside.string();
}

}  // namespace brevan
