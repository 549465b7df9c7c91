#pragma once
// Which INI file holds the settings.
#include <string>

namespace brevan {

// The INI file beside the executable and named after it
// (/opt/brevan/brevan -> /opt/brevan/brevan.ini) is used when it exists or
// when the executable's folder is writable by the user (a copy in the
// user's own folder, the build folder). Otherwise (an installed copy in a
// system folder) it is $XDG_CONFIG_HOME/brevan/brevan.ini, or with that unset
// or not absolute, $HOME/.config/brevan/brevan.ini.
std::string IniPathFor(const std::string& executable, const std::string& xdgConfigHome, const std::string& home);

}  // namespace brevan
