#include "os/executable_path.h"

#include "base/error.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace brevan {
namespace {

namespace fs = std::filesystem;

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The file itself, as /proc/self/exe names it: no link, no "." or "..".
std::optional<ExecutablePath> Resolved(const fs::path& path) {
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    if (ec || !IsExecutableFile(real.string())) return std::nullopt;
    return ExecutablePath{real.string(), true};
}

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// True when `gid` is the private group of the user `uid`, as Debian makes
// one for each user (same name, that user's primary group, no other member):
// a build under umask 002 leaves programs writable by it, and no one else.
bool IsPrivateGroup(gid_t gid, uid_t uid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return false;
    if (entry.gr_mem != nullptr && entry.gr_mem[0] != nullptr) return false;
    passwd user{};
    passwd* member = nullptr;
    std::vector<char> userBuffer(16384);
    if (::getpwnam_r(entry.gr_name, &user, userBuffer.data(), userBuffer.size(), &member) != 0 || member == nullptr)
        return false;
    return user.pw_uid == uid && user.pw_gid == gid;
}

void RequireTrusted(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;  // missing: starting it says so
    const bool groupMayWrite = (st.st_mode & S_IWGRP) != 0 && !IsPrivateGroup(st.st_gid, st.st_uid);
    if ((st.st_mode & S_IWOTH) != 0 || groupMayWrite)
        throw Error("Brevan does not run " + path + ": users other than its owner may change it (mode " +
                    OctalMode(st.st_mode) + ").");
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        throw Error("Brevan does not run " + path + ": it belongs to another user (user ID " +
                    std::to_string(st.st_uid) + "), neither to you nor to root.");
}

}  // namespace

std::optional<ExecutablePath> FindExecutablePath(const std::string& argv0, const std::string& pathVariable) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && self.is_absolute()) return ExecutablePath{self.string(), false};

    if (argv0.empty()) return std::nullopt;
    if (argv0.find('/') != std::string::npos) return Resolved(argv0);
    std::size_t begin = 0;
    while (begin <= pathVariable.size()) {
        std::size_t end = pathVariable.find(':', begin);
        if (end == std::string::npos) end = pathVariable.size();
        const std::string folder = pathVariable.substr(begin, end - begin);
        // An empty entry means the working folder to the shell.
        if (auto found = Resolved(fs::path(folder.empty() ? "." : folder) / argv0)) return found;
        begin = end + 1;
    }
    return std::nullopt;
}

std::string CompanionProgram(const std::string& executable, const std::string& name) {
    const fs::path beside = fs::path(executable).parent_path() / name;
    std::error_code ec;
    // A relative executable (its own file not found) would make "beside it"
    // the working folder, which may be anyone's.
    const bool besideIt = beside.is_absolute() && fs::exists(beside, ec);
    const std::string found = besideIt ? beside.string() : (fs::path(BREVAN_LIBEXEC_DIR) / name).string();
    RequireTrusted(found);
    return found;
}

}  // namespace brevan
