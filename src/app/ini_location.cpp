#include "app/ini_location.h"

#include <unistd.h>
#include <filesystem>

namespace brevan {

std::string IniPathFor(const std::string& executable, const std::string& xdgConfigHome, const std::string& home) {
    namespace fs = std::filesystem;
    const fs::path exe(executable);
    const fs::path beside = exe.parent_path() / (exe.stem().string() + ".ini");
    std::error_code ec;
    if (fs::exists(beside, ec) || ::access(exe.parent_path().c_str(), W_OK) == 0) return beside.string();
    const fs::path config = !xdgConfigHome.empty() && fs::path(xdgConfigHome).is_absolute()
                                ? fs::path(xdgConfigHome)
                                : fs::path(home) / ".config";
    return (config / "brevan" / "brevan.ini").string();
}

}  // namespace brevan
