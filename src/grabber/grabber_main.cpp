#include "grabber/grabber_main.h"

#include "app/command_line.h"
#include "app/ini_location.h"
#include "base/error.h"
#include "dao/dao.h"
#include "grabber/grabber_config.h"
#include "grabber/grabber_options.h"
#include "grabber/guide_output.h"
#include "os/executable_path.h"
#include "os/folder_helper.h"
#include "os/wine_path.h"
#include "update/update_run.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace brevan {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void Say(const std::string& text) { std::fprintf(stderr, "%s: %s\n", kGrabberName, text.c_str()); }

// Runs the updater the settings name. Its output must not mix with the
// guide on standard output. A failure is told (also under --quiet) and the
// guide still comes from the database as it stands.
void Update(const std::string& updaterSetting, const WineEnvironment& wine, bool quiet) {
    const ResolvedPath updater = ResolveSettingPath(updaterSetting, wine);
    try {
        const std::int32_t status =
            RunUpdater(updater.path, updater.shown, quiet ? UpdaterOutput::Discarded : UpdaterOutput::ToStandardError);
        if (status != 0)
            Say("The updater " + updater.shown + " ended with status " + std::to_string(status) +
                "; the guide comes from the listing database as it stands.");
    } catch (const Error& error) {
        Say(std::string(error.what()) + "; the guide comes from the listing database as it stands.");
    }
}

int Run(const GrabberOptions& options, const ExecutablePath& self) {
    const WineEnvironment wine = ReadWineEnvironment();
    const std::string folder = std::filesystem::path(self.path).parent_path().string();
    const std::string brevanIni = IniPathFor(folder + "/brevan", Environment("XDG_CONFIG_HOME"), Environment("HOME"));
    const std::string defaultConfig = DefaultGrabberConfig(wine.home);
    const std::string config = ChooseGrabberConfig(options.configFile, defaultConfig, brevanIni);

    if (options.action == GrabberAction::Configure) {
        const std::string target = options.configFile.value_or(defaultConfig);
        ConfigureGrabber(config, target, std::cin, std::cerr);
        if (!options.quiet) Say("Wrote " + target + ".");
        return kExitSuccess;
    }

    const GrabberSettings settings = ReadGrabberSettings(config);
    dao::SetReaderProgram(CompanionProgram(self.path, "brevan-reader"));
    // The output folder's work is watched, so that a share that stops answering holds the helper, not us.
    SetFolderHelperProgram(CompanionProgram(self.path, "brevan-folder"));
    if (options.action == GrabberAction::Guide && !settings.updaterPath.empty())
        Update(settings.updaterPath, wine, options.quiet);

    const ResolvedPath database = ResolveSettingPath(settings.databasePath, wine);
    ConversionRequest request;
    request.databasePath = database.path;
    request.databaseShown = database.shown;
    request.window = options.window;
    request.declareEncoding = true;
    request.documentWhenEmpty = true;  // a grabber always answers with a document
    request.channelsOnly = options.action == GrabberAction::ListChannels;
    if (options.outputFile)
        WriteGuideToFile(request, *options.outputFile);
    else
        WriteGuideToStandardOutput(request, Environment("TMPDIR"));
    return kExitSuccess;
}

}  // namespace

int GrabberMain(int argc, char** argv) {
    const ParsedOptions parsed = ParseGrabberOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (!parsed.options) {
        std::fprintf(stderr, "%s\n", parsed.usageError.c_str());
        return kExitUsage;
    }
    const GrabberOptions& options = *parsed.options;
    switch (options.action) {
    case GrabberAction::Description: std::fputs(GrabberDescription().c_str(), stdout); return kExitSuccess;
    case GrabberAction::Capabilities: std::fputs(GrabberCapabilities().c_str(), stdout); return kExitSuccess;
    case GrabberAction::Version: std::printf("%s %s\n", kGrabberName, BREVAN_VERSION); return kExitSuccess;
    case GrabberAction::Help: std::fputs(GrabberHelp().c_str(), stdout); return kExitSuccess;
    default: break;
    }

    // A reader of standard output that goes away (a TV server stopped) gives
    // a write error and one message, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    const std::optional<ExecutablePath> self = FindExecutablePath(argc > 0 ? argv[0] : "", Environment("PATH"));
    if (!self) {
        Say("cannot find its own program file (/proc is not mounted and the command names no program), so it "
            "cannot find its database reader.");
        return kExitFailed;
    }
    try {
        return Run(options, *self);
    } catch (const Error& error) {
        Say(error.what());
    } catch (const std::bad_alloc&) {
        Say("There is not enough memory to write the guide.");
    } catch (const std::exception& error) {
        Say(error.what());
    }
    return kExitFailed;
}

}  // namespace brevan
