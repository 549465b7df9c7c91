#include "grabber/grabber_options.h"

#include <charconv>
#include <limits>

namespace brevan {
namespace {

std::string UsageError(const std::string& what) {
    return std::string(kGrabberName) + ": " + what + "; see " + kGrabberName + " --help";
}

// A whole decimal integer in [minimum, a day count any date fits].
std::optional<int> DayCount(const std::string& text, int minimum) {
    // Beyond a million days no listing date lies; the bound keeps date sums in range.
    constexpr int kMost = 1000000;
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < minimum || value > kMost) return std::nullopt;
    return value;
}

}  // namespace

ParsedOptions ParseGrabberOptions(const std::vector<std::string>& arguments) {
    GrabberOptions options;
    std::optional<GrabberAction> action;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 2 || argument[0] != '-')
            return {std::nullopt, UsageError("unexpected argument '" + argument + "'")};
        std::string name = argument.substr(argument[1] == '-' ? 2 : 1);
        std::optional<std::string> value;
        if (const std::size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (value) return value;
            if (i + 1 < arguments.size()) return arguments[++i];
            return std::nullopt;
        };

        static const std::pair<const char*, GrabberAction> kActions[] = {
            {"list-channels", GrabberAction::ListChannels},
            {"configure", GrabberAction::Configure},
            {"description", GrabberAction::Description},
            {"capabilities", GrabberAction::Capabilities},
            {"version", GrabberAction::Version},
            {"help", GrabberAction::Help},
        };
        bool known = false;
        for (const auto& [actionName, actionValue] : kActions) {
            if (name != actionName) continue;
            known = true;
            if (value) return {std::nullopt, UsageError("--" + name + " takes no value")};
            if (!action) action = actionValue;
        }
        if (known) continue;
        if (name == "quiet" && !value) {
            options.quiet = true;
        } else if (name == "config-file" || name == "output") {
            const std::optional<std::string> file = takeValue();
            if (!file || file->empty()) return {std::nullopt, UsageError("--" + name + " needs a file name")};
            (name == "output" ? options.outputFile : options.configFile) = *file;
        } else if (name == "offset" || name == "days") {
            const std::optional<std::string> text = takeValue();
            const std::optional<int> count =
                text ? DayCount(*text, name == "days" ? 0 : -1000000) : std::optional<int>();
            if (!count)
                return {std::nullopt, UsageError("--" + name + " needs a whole number of days" +
                                                 (name == "days" ? " (0 or more)" : ""))};
            if (name == "days")
                options.window.days = *count;
            else
                options.window.offsetDays = *count;
        } else {
            return {std::nullopt, UsageError("unknown option '" + argument + "'")};
        }
    }
    options.action = action.value_or(GrabberAction::Guide);
    return {options, ""};
}

std::string GrabberDescription() { return "Germany: listings from a local Access guide database (tvdaten.mdb)\n"; }

std::string GrabberCapabilities() { return "baseline\nmanualconfig\n"; }

std::string GrabberHelp() {
    return std::string("Usage: ") + kGrabberName +
           " [--config-file FILE] [--output FILE] [--days N] [--offset N] [--quiet]\n"
           "       " +
           kGrabberName +
           " [--config-file FILE] --list-channels\n"
           "       " +
           kGrabberName +
           " [--config-file FILE] --configure\n"
           "       " +
           kGrabberName +
           " --description | --capabilities | --version | --help\n"
           "\n"
           "Writes the listings of a local guide database (tvdaten.mdb, table TVDaten) as an\n"
           "XMLTV document to standard output, after running the updater when the config file\n"
           "names one (its output goes to standard error).\n"
           "\n"
           "  --config-file FILE  the settings (an INI file, section [Default]); default\n"
           "                      ~/.xmltv/" +
           kGrabberName +
           ".conf, and when that does not exist,\n"
           "                      the INI file of brevan\n"
           "  --configure         ask for the database and the updater, then write the config file\n"
           "  --output FILE       write the guide to FILE (replaced only when complete)\n"
           "  --offset N          start N days from today (default 0)\n"
           "  --days N            programmes starting on N days (default: all to come)\n"
           "  --list-channels     the document with its channels only\n"
           "  --quiet             nothing on standard error but a failure's message\n"
           "\n"
           "Exit status: 0 the document was written (an empty listing included), 1 the run\n"
           "failed (one message on standard error, nothing on standard output), 2 usage error.\n";
}

}  // namespace brevan
