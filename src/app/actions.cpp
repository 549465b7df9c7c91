#include "app/actions.h"

#include "app/settings.h"
#include "convert/conversion.h"
#include "desktop/trap.h"
#include "os/wine_path.h"
#include "update/update_run.h"

#include <optional>
#include <string>

namespace brevan {

bool CreateXmltvFile() {
    return Trapped([] {
        // Windows paths (an INI copied from the Windows machine) are found in
        // the Wine prefix; messages quote them both ways.
        const WineEnvironment wine = ReadWineEnvironment();
        const ResolvedPath database = ResolveSettingPath(AppSettings.DatabasePath, wine);
        const ResolvedPath folder = ResolveSettingPath(AppSettings.OutputFolder, wine);
        ConversionRequest request;
        request.databasePath = database.path;
        request.databaseShown = database.shown;
        request.outputFolder = folder.path;
        if (folder.windows) {
            const std::string& value = AppSettings.OutputFolder;
            const bool separated = !value.empty() && (value.back() == '\\' || value.back() == '/');
            request.guideShown = ResolveSettingPath(value + (separated ? "" : "\\") + kGuideFileName, wine).shown;
        }
        ConvertListing(request);
    });
}

bool UpdateAndCreateXmltv() {
    // A copy: the settings window may change the setting while the wait
    // lets its events run.
    std::optional<ResolvedPath> updater;
    Trapped([&] { updater = ResolveSettingPath(AppSettings.UpdaterPath, ReadWineEnvironment()); });
    const bool updated = updater && RunAndWait(updater->path, vbNormalFocus, true, updater->shown).has_value();
    const bool converted = CreateXmltvFile();
    return updated && converted;
}

}  // namespace brevan
