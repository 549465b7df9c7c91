#include "grabber/grabber_config.h"

#include "app/settings.h"
#include "base/error.h"
#include "grabber/grabber_options.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace brevan {
namespace {

bool Exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

std::string WhatToWrite(const std::string& path) {
    return "write it with the lines [Default] and " + std::string(kKeyDatabasePath) + "=<the listing database> (and " +
           kKeyUpdaterPath + "=<the updater>, if any), or run " + kGrabberName + " --configure --config-file " + path;
}

// Reads one answer; the value it leaves.
std::string Ask(const char* what, const char* key, const std::string& current, std::istream& answers,
                std::ostream& prompts) {
    prompts << what << " (" << key << ") [" << (current.empty() ? "none" : current)
            << "], Enter keeps it, - clears it: " << std::flush;
    std::string answer;
    if (!std::getline(answers, answer)) answer.clear();
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    if (answer.empty()) return current;
    if (answer == "-") return "";
    return answer;
}

}  // namespace

std::string DefaultGrabberConfig(const std::string& home) { return home + "/.xmltv/" + kGrabberName + ".conf"; }

std::string ChooseGrabberConfig(const std::optional<std::string>& given, const std::string& defaultFile,
                                const std::string& brevanIni) {
    if (given) return *given;
    if (Exists(defaultFile) || brevanIni.empty() || !Exists(brevanIni)) return defaultFile;
    return brevanIni;
}

GrabberSettings ReadGrabberSettings(const std::string& path) {
    if (!Exists(path)) throw Error("The config file " + path + " does not exist: " + WhatToWrite(path) + ".");
    // The INI reader takes a file it cannot read for an empty one.
    if (!std::ifstream(path)) throw Error("Cannot read the config file " + path + ": " + std::strerror(errno));
    GrabberSettings settings{ReadIniValue(kIniSection, kKeyDatabasePath, "", path),
                             ReadIniValue(kIniSection, kKeyUpdaterPath, "", path)};
    if (settings.databasePath.empty())
        throw Error("The config file " + path + " names no listing database: " + WhatToWrite(path) + ".");
    return settings;
}

void ConfigureGrabber(const std::string& readFrom, const std::string& writeTo, std::istream& answers,
                      std::ostream& prompts) {
    const std::string database = Ask("The listing database", kKeyDatabasePath,
                                     ReadIniValue(kIniSection, kKeyDatabasePath, "", readFrom), answers, prompts);
    const std::string updater = Ask("The updater, run before each guide", kKeyUpdaterPath,
                                    ReadIniValue(kIniSection, kKeyUpdaterPath, "", readFrom), answers, prompts);
    CreateIniFolder(writeTo);
    if (!WriteIniValue(kIniSection, kKeyDatabasePath, database, writeTo) ||
        !WriteIniValue(kIniSection, kKeyUpdaterPath, updater, writeTo))
        throw Error("Cannot write the config file " + writeTo + ".");
}

}  // namespace brevan
