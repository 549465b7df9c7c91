#pragma once
// Where the settings window's pickers start.
#include <string>

namespace brevan {

// The path a picker starts from for `value`, the text of a settings box; the
// dialog then starts in its folder when it exists (desktop/dialogs.h).
// - A Windows drive path is mapped through the Wine prefix as the actions
//   map it (os/wine_path.h), so C:\Programme\... starts in the prefix.
// - Empty, with `inWinePrefix`: the prefix's drive C: (its drive_c folder,
//   links resolved) when that is a folder, else the home folder; the
//   prefix's folder is hidden, and a newcomer would not find it.
// - Empty without `inWinePrefix`: "" (the dialog's own choice).
// - Anything else: `value` as it stands.
// Never fails.
std::string PickerStartPath(const std::string& value, bool inWinePrefix);

}  // namespace brevan
