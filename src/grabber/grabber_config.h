#pragma once
// The grabber's config file (XMLTV's "manualconfig"): an INI file with the
// [Default] keys of brevan's own, which file counts, and --configure.
#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace brevan {

// XMLTV's usual place: <home>/.xmltv/tv_grab_de_brevan.conf.
std::string DefaultGrabberConfig(const std::string& home);

// The file whose settings count: `given` (--config-file) when set, whether
// it exists or not; else `defaultFile` when it exists; else brevan's own INI
// file when it exists, so that the settings window serves the grabber too;
// else `defaultFile`.
std::string ChooseGrabberConfig(const std::optional<std::string>& given, const std::string& defaultFile,
                                const std::string& brevanIni);

// The settings the grabber uses, as written in the file.
struct GrabberSettings {
    std::string databasePath;  // "TVMovieTvDataPath"
    std::string updaterPath;   // "TVMovieUpdatePath"; empty: no update
};

// Reads `path`. Raises brevan::Error when it does not exist (the message
// says what to write, or to run --configure), cannot be read, or names no
// database.
GrabberSettings ReadGrabberSettings(const std::string& path);

// Asks for the database and the updater on `prompts`, each with its value
// from `readFrom` (a missing file counts as empty), and reads one answer a
// line from `answers`: an empty answer (or the input's end) keeps the value,
// "-" clears it, anything else replaces it. Then writes both keys into
// `writeTo`, creating it and its folder when missing; its other keys,
// sections and comments stay as they were. Raises brevan::Error when it
// cannot be written.
void ConfigureGrabber(const std::string& readFrom, const std::string& writeTo, std::istream& answers,
                      std::ostream& prompts);

}  // namespace brevan
