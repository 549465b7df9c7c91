#include "ui/folder_picker.h"

#include "desktop/dialogs.h"

#include <QApplication>

namespace brevan {

std::string BrowseForFolderPath(const std::string& prompt, const std::string& current) {
    return ShowFolderDialog(QApplication::activeWindow(), prompt, current);
}

}  // namespace brevan
