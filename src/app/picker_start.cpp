#include "app/picker_start.h"

#include "os/wine_path.h"

#include <filesystem>
#include <system_error>

namespace brevan {

std::string PickerStartPath(const std::string& value, bool inWinePrefix) {
    const WineEnvironment wine = ReadWineEnvironment();
    if (!value.empty()) return ResolveSettingPath(value, wine).path;
    if (!inWinePrefix) return {};
    const ResolvedPath driveC = ResolveSettingPath("C:\\", wine);
    std::error_code error;
    if (std::filesystem::is_directory(driveC.path, error)) {
        const std::filesystem::path real = std::filesystem::canonical(driveC.path, error);
        if (!error) return real.string();
    }
    return wine.home;
}

}  // namespace brevan
