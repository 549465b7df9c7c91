#pragma once
// The folder picker of the settings window.
#include <string>

namespace brevan {

// Shows the folder browser, modal over the active window, with `prompt`,
// starting at `current` when that is an existing folder (or a file's).
// Returns the chosen folder's path as the dialog reports it, whole, or ""
// when the user cancels. Raises nothing.
std::string BrowseForFolderPath(const std::string& prompt, const std::string& current = "");

}  // namespace brevan
