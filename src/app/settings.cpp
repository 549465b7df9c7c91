// Placeholder until the INI profile wrapper lands.
#include "app/settings.h"

namespace brevan {
Settings AppSettings;
std::string ReadIniValue(const std::string&, const std::string&, const std::string& d, const std::string&, std::int16_t) { return d; }
bool WriteIniValue(const std::string&, const std::string&, const std::string&, const std::string&) { return false; }
} // namespace brevan
