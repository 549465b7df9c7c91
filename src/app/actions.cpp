#include "app/actions.h"

#include "app/settings.h"
#include "base/error.h"
#include "convert/conversion.h"
#include "desktop/events.h"
#include "desktop/trap.h"
#include "os/wine_path.h"
#include "update/update_run.h"

#include <optional>
#include <string>

namespace brevan {
namespace {

// The conversion AppSettings ask for. Windows paths (an INI copied from the
// Windows machine) are found in the Wine prefix; messages quote them both
// ways. Raises brevan::Error when no output folder is set.
ConversionRequest GuideRequest() {
    // A missing INI file or a misspelt key leaves the folder empty.
    if (AppSettings.OutputFolder.empty())
        throw Error(std::string("No output folder is set, so the guide has nowhere to go. Set \"") + kKeyOutputFolder +
                    "\" in " + AppSettings.IniPath + ", or choose the folder in Settings.");
    const WineEnvironment wine = ReadWineEnvironment();
    const ResolvedPath database = ResolveSettingPath(AppSettings.DatabasePath, wine);
    const ResolvedPath folder = ResolveSettingPath(AppSettings.OutputFolder, wine);
    ConversionRequest request;
    request.databasePath = database.path;
    request.databaseShown = database.shown;
    request.outputFolder = folder.path;
    if (folder.windows) {
        const std::string& value = AppSettings.OutputFolder;
        const bool separated = value.back() == '\\' || value.back() == '/';
        request.guideShown = ResolveSettingPath(value + (separated ? "" : "\\") + kGuideFileName, wine).shown;
    }
    // The window answers while another run has the folder's turn.
    request.whileWaiting = DoEvents;
    return request;
}

}  // namespace

bool CreateXmltvFile() {
    return Trapped([] { ConvertListing(GuideRequest()); });
}

bool UpdateAndCreateXmltv() {
    // The folder's turn is taken before the updater starts and kept until the
    // guide is saved, so that two update runs never run two updaters on one
    // database. Without it, neither runs.
    std::optional<ConversionRequest> request;
    std::optional<FolderTurn> turn;
    if (!Trapped([&] {
            request = GuideRequest();
            turn = TakeFolderTurn(*request);
        }))
        return false;
    // A copy: the settings window may change the setting while the wait
    // lets its events run.
    std::optional<ResolvedPath> updater;
    Trapped([&] { updater = ResolveSettingPath(AppSettings.UpdaterPath, ReadWineEnvironment()); });
    const bool updated = updater && RunAndWait(updater->path, vbNormalFocus, true, updater->shown).has_value();
    const bool converted = Trapped([&] { ConvertListing(*request, &*turn); });
    return updated && converted;
}

}  // namespace brevan
