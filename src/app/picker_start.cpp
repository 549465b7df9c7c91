#include "app/picker_start.h"

#include "os/wine_path.h"

#include <filesystem>
#include <system_error>

namespace brevan {

std::string FilePickerStart(const std::string& value) {
    const WineEnvironment wine = ReadWineEnvironment();
    if (!value.empty()) return ResolveSettingPath(value, wine).path;
    const std::string driveC = ResolveSettingPath("C:\\", wine).path;
    std::error_code error;
    if (std::filesystem::is_directory(driveC, error)) {
        const std::filesystem::path real = std::filesystem::canonical(driveC, error);
        if (!error) return real.string();
    }
    return wine.home;
}

std::string FolderPickerStart(const std::string& value) {
    return value.empty() ? std::string() : ResolveSettingPath(value, ReadWineEnvironment()).path;
}

}  // namespace brevan
