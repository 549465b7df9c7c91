#include "app/actions.h"

#include "app/settings.h"
#include "convert/conversion.h"
#include "desktop/trap.h"
#include "update/update_run.h"

#include <string>

namespace brevan {

bool CreateXmltvFile() {
    return Trapped([] { ConvertListing(AppSettings.DatabasePath, AppSettings.OutputFolder); });
}

bool UpdateAndCreateXmltv() {
    // A copy: the settings window may change the setting while the wait
    // lets its events run.
    const std::string updaterPath = AppSettings.UpdaterPath;
    const bool updated = RunAndWait(updaterPath, vbNormalFocus, true).has_value();
    const bool converted = CreateXmltvFile();
    return updated && converted;
}

} // namespace brevan
