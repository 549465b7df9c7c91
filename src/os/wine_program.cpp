#include "os/wine_program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace brevan {

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

std::string SearchPath(const std::string& name, const std::string& pathVar) {
    std::size_t start = 0;
    while (start <= pathVar.size()) {
        std::size_t end = pathVar.find(':', start);
        if (end == std::string::npos) end = pathVar.size();
        if (end > start) {
            std::string candidate = pathVar.substr(start, end - start);
            if (candidate.back() != '/') candidate += '/';
            candidate += name;
            if (IsExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

bool IsWindowsExecutable(const std::string& path) {
    // Opening a device can act on it (a tape rewinds), so only a file that is
    // regular already is opened at all.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool windows = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char mark[2] = {};
        ssize_t got;
        do {
            got = ::pread(fd, mark, sizeof mark, 0);
        } while (got < 0 && errno == EINTR);
        windows = got == 2 && mark[0] == 'M' && mark[1] == 'Z';
    }
    ::close(fd);
    return windows;
}

std::string FindWine(const std::string& wineVar, const std::string& pathVar) {
    if (wineVar.empty()) return SearchPath("wine", pathVar);
    if (wineVar.find('/') != std::string::npos) return IsExecutableFile(wineVar) ? wineVar : std::string();
    return SearchPath(wineVar, pathVar);
}

std::vector<std::string> WineChildEnvironment(const std::vector<std::string>& environment) {
    std::vector<std::string> child = environment;
    for (const std::string& entry : environment)
        if (entry.starts_with("WINEDEBUG=")) return child;
    child.push_back("WINEDEBUG=-all");
    return child;
}

}  // namespace brevan
