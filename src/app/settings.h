#pragma once
// The process-wide settings record and the two INI operations that load and
// store it. Which INI file holds them: app/ini_location.h.
#include <cstdint>
#include <string>

namespace brevan {

struct Settings {
    std::string DatabasePath;  // "TVMovieTvDataPath": the listing database file
    std::string UpdaterPath;   // "TVMovieUpdatePath": the updater, run as the whole command
    std::string OutputFolder;  // "myHTPCPath": folder of tvdata.xml, no trailing slash
    std::string IniPath;       // full path of the INI file
};

// Filled by start-up, changed by the settings window, read by the actions.
extern Settings AppSettings;

inline constexpr const char* kIniSection = "Default";
inline constexpr const char* kKeyDatabasePath = "TVMovieTvDataPath";
inline constexpr const char* kKeyUpdaterPath = "TVMovieUpdatePath";
inline constexpr const char* kKeyOutputFolder = "myHTPCPath";

// Reads one value, whole; a missing file, section or key gives `defaultValue`.
std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& defaultValue,
                         const std::string& filePath);

// Writes one value in place, keeping every other line and comment; creates
// the file and the section on the first write. Returns false when the file
// could not be written (the caller decides whether to tell anyone).
bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& filePath);

// Creates the folder of the INI file `filePath` when it is missing (the
// user's configuration folder on a first save), with its parents. A failure
// shows in the writes that follow.
void CreateIniFolder(const std::string& filePath);

}  // namespace brevan
