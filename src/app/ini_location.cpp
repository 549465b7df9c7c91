#include "app/ini_location.h"

#include "os/user_home.h"

#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <filesystem>
#include <string_view>

namespace brevan {
namespace {

namespace fs = std::filesystem;

// Folders whose files every user of the machine shares.
bool IsSystemFolder(const fs::path& folder) {
    static constexpr std::array<std::string_view, 10> kSystem = {"/bin",   "/boot",   "/etc", "/lib",  "/lib32",
                                                                 "/lib64", "/libx32", "/opt", "/sbin", "/usr"};
    const std::string text = folder.string();
    if (text == "/") return true;
    for (const std::string_view top : kSystem)
        if (text.starts_with(top) && (text.size() == top.size() || text[top.size()] == '/')) return true;
    return false;
}

bool OwnFolder(const fs::path& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

}  // namespace

std::string IniPathFor(const std::string& executable, const std::string& xdgConfigHome, const std::string& home) {
    const fs::path exe(executable);
    std::error_code ec;
    // /usr/bin may be a link to /bin elsewhere: judge the folder it really is.
    const fs::path folder = fs::weakly_canonical(exe.parent_path(), ec);
    if (!ec && OwnFolder(folder) && !IsSystemFolder(folder))
        return (exe.parent_path() / (exe.stem().string() + ".ini")).string();
    if (fs::path(xdgConfigHome).is_absolute()) return (fs::path(xdgConfigHome) / "brevan" / "brevan.ini").string();
    fs::path userHome = UserHome(home);
    if (!userHome.is_absolute()) userHome = UserHome("");
    if (!userHome.is_absolute()) return {};
    return (userHome / ".config" / "brevan" / "brevan.ini").string();
}

}  // namespace brevan
