#include "app/settings.h"

#include "ini/ini_profile.h"

namespace brevan {

Settings AppSettings;

std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& defaultValue,
                         const std::string& filePath, std::int16_t bufferSize) {
    return GetPrivateProfileString(section, key, defaultValue, bufferSize, filePath);
}

bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& filePath) {
    return WritePrivateProfileString(section, key, value, filePath);
}

} // namespace brevan
