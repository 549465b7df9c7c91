#include "app/settings.h"

#include "ini/ini_profile.h"

#include <filesystem>

namespace brevan {

Settings AppSettings;

std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& defaultValue,
                         const std::string& filePath) {
    return GetPrivateProfileString(section, key, defaultValue, filePath);
}

bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& filePath) {
    return WritePrivateProfileString(section, key, value, filePath);
}

void CreateIniFolder(const std::string& filePath) {
    const std::filesystem::path folder = std::filesystem::path(filePath).parent_path();
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
}

}  // namespace brevan
