#include "support/slow_share/mounts.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace slowshare {

namespace {

// The kernel writes space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() &&
                           field.substr(i + 1, 3).find_first_not_of("01234567") == std::string::npos;
        if (octal) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// `fusermount3 -u -z mountPoint`, for when umount2 is not allowed.
bool RunFusermount(const std::string& mountPoint, std::string* why) {
    const char* argv[] = {"fusermount3", "-u", "-z", "-q", mountPoint.c_str(), nullptr};
    const pid_t pid = ::fork();
    if (pid < 0) {
        *why = std::string("fork failed: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        ::execvp(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            *why = "fusermount3 -u -z did not end within 5 s";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    *why = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "fusermount3 is not installed (Debian package fuse3)"
                                                           : "fusermount3 -u -z failed";
    return false;
}

}  // namespace

std::vector<Mount> ReadMounts() {
    std::vector<Mount> mounts;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    // id parent major:minor root mount-point options [optional...] - type source super-options
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Mount mount;
        std::string parent, device, root, mountPoint, options, field;
        if (!(fields >> mount.id >> parent >> device >> root >> mountPoint >> options)) continue;
        while (fields >> field && field != "-") {}
        std::string source;
        if (!(fields >> mount.fsType >> source)) continue;
        mount.mountPoint = Unescape(mountPoint);
        mount.source = Unescape(source);
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

bool Detach(const std::string& mountPoint, std::string* why) {
    if (::umount2(mountPoint.c_str(), MNT_DETACH) == 0) return true;
    if (errno != EPERM) {
        *why = "umount2 " + mountPoint + ": " + std::strerror(errno);
        return false;
    }
    return RunFusermount(mountPoint, why);
}

}  // namespace slowshare
