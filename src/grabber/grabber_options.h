#pragma once
// The grabber's command line, after XMLTV's conventions for the capabilities
// "baseline" and "manualconfig".
#include "convert/conversion.h"

#include <optional>
#include <string>
#include <vector>

namespace brevan {

inline constexpr const char* kGrabberName = "tv_grab_de_brevan";

enum class GrabberAction {
    Guide,         // the guide (the default)
    ListChannels,  // --list-channels: the document with its channels only
    Configure,     // --configure: ask for the settings and write the config file
    Description,   // --description
    Capabilities,  // --capabilities
    Version,       // --version
    Help,          // --help
};

struct GrabberOptions {
    GrabberAction action = GrabberAction::Guide;
    std::optional<std::string> configFile;  // --config-file FILE
    std::optional<std::string> outputFile;  // --output FILE; nothing: standard output
    bool quiet = false;                     // --quiet
    GuideWindow window;                     // --offset N, --days N
};

// The options, or the one line a usage error prints (then `options` is empty).
struct ParsedOptions {
    std::optional<GrabberOptions> options;
    std::string usageError;
};

// Reads `arguments` (argv[1...]). Each option is written "--name" or "-name",
// a value follows as the next argument or after "=". --offset takes any
// integer, --days one of at least 0. When several of the options that name
// an action are given, the first counts. An unknown option, a missing or
// malformed value and an argument that is no option are usage errors:
// "tv_grab_de_brevan: <what is wrong>; see tv_grab_de_brevan --help".
ParsedOptions ParseGrabberOptions(const std::vector<std::string>& arguments);

// --description: one line, with its newline.
std::string GrabberDescription();
// --capabilities: one per line.
std::string GrabberCapabilities();
// --help.
std::string GrabberHelp();

}  // namespace brevan
