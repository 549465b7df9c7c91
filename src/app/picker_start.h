#pragma once
// Where the settings window's pickers start.
#include <string>

namespace brevan {

// The path a picker starts from for `value`, the text of a settings box; the
// dialog then starts in its folder when that exists (desktop/dialogs.h). A
// Windows drive path is mapped through the Wine prefix as the actions map it
// (os/wine_path.h), so C:\Programme\... starts in the prefix; any other
// value is returned as it stands. Never fails.
//
// An empty box: the file pickers (database, updater) start in the Wine
// prefix's drive C: (its drive_c folder, links resolved) when that is a
// folder, else in the home folder, since the prefix's folder is hidden and
// a newcomer would not find it; the folder picker gets "" (the dialog's own
// choice), as the guide's folder lies outside the prefix.
std::string FilePickerStart(const std::string& value);
std::string FolderPickerStart(const std::string& value);

}  // namespace brevan
