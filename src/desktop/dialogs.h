#pragma once
// Modal pickers for a file to open and for a folder, over Qt's file dialog.
// Tests answer them through the seam at the end without showing anything.
#include <optional>
#include <string>

class QWidget;

namespace brevan {

// Shows a modal file-open dialog over `owner` (nullptr: no owner) with no
// title or name preset, offering the entries of `filter`, written as
// "description|pattern" pairs joined by '|', patterns separated by ';' (blanks
// around a pattern are ignored). It starts in the folder of `current` when
// that names an existing file, in `current` when it names an existing
// folder, else where Qt starts it. Only existing files can be chosen.
// Returns the chosen file's full path, or "" when the user cancels. Raises
// nothing.
std::string ShowOpenFileDialog(QWidget* owner, const std::string& filter, const std::string& current = "");

// Shows a modal folder browser over `owner` titled `prompt` that lists and
// returns folders only, starting as ShowOpenFileDialog does. Returns the
// chosen folder's path whole, with no length limit and no separator added or
// removed, or "" when the user cancels. Raises nothing.
std::string ShowFolderDialog(QWidget* owner, const std::string& prompt, const std::string& current = "");

// Where a dialog for `current` starts: the folder of an existing file, an
// existing folder itself, else "" (Qt's own choice).
std::string StartFolderFor(const std::string& current);

// The filter of ShowOpenFileDialog in Qt's form: one "description (patterns)"
// entry per pair, joined by ";;". A description that already ends in its
// patterns in parentheses is kept as it is.
std::string QtFileFilter(const std::string& filter);

// Test seam. While an answer is pending, the next dialog of that kind is not
// shown: it returns the answer at once (nullopt or "" meaning the user
// cancelled) and the answer is used up.
void SetNextFileName(std::optional<std::string> answer);
void SetNextFolder(std::optional<std::string> answer);
// Drops answers that no dialog has used.
void ClearDialogAnswers();

// What the most recent dialog, shown or answered, was asked to show.
struct DialogRequest {
    QWidget* owner = nullptr;
    std::string title;   // the folder prompt; empty for the file dialog
    std::string filter;  // Qt's form (QtFileFilter); empty for the folder dialog
    std::string start;   // the folder it starts in (StartFolderFor); empty: Qt's choice
};
DialogRequest LastDialogRequest();

}  // namespace brevan
