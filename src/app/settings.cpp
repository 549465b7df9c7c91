#include "app/settings.h"

#include "ini/ini_profile.h"

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

} // namespace brevan
