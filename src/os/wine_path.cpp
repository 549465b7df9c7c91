#include "os/wine_path.h"

#include "base/error.h"
#include "os/user_home.h"

#include <glib.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace brevan {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsDrivePath(const std::string& value) {
    return value.size() >= 3 && IsAsciiLetter(value[0]) && value[1] == ':' && (value[2] == '\\' || value[2] == '/');
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// `folder` + "/" + `name`, with no doubled slash when `folder` ends in one.
std::string Join(std::string folder, const std::string& name) {
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder + "/" + name;
}

// The parts of the path after the drive, with "." and ".." settled by text
// alone, as Windows does before it looks anything up.
std::vector<std::string> PathParts(std::string_view rest) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = rest.size();
        const std::string_view part = rest.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return parts;
}

// The name with every character mapped to upper case; nothing when the name
// is not valid UTF-8 (such a name can only match exactly).
std::optional<std::u32string> UpperKey(const std::string& name) {
    if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) return std::nullopt;
    std::u32string key;
    const char* end = name.data() + name.size();
    for (const char* p = name.data(); p < end; p = g_utf8_next_char(p))
        key.push_back(static_cast<char32_t>(g_unichar_toupper(g_utf8_get_char(p))));
    return key;
}

// The entry of `folder` that `name` means: the exact name when it exists,
// else the first entry in byte order that matches without regard to case.
std::optional<std::string> FindEntry(const std::string& folder, const std::string& name) {
    const std::string exact = Join(folder, name);
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0) return name;

    const std::optional<std::u32string> wanted = UpperKey(name);
    if (!wanted) return std::nullopt;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(dir)) {
        const char* entryName = entry->d_name;
        if (std::strcmp(entryName, ".") == 0 || std::strcmp(entryName, "..") == 0) continue;
        if (best && std::strcmp(entryName, best->c_str()) >= 0) continue;
        if (UpperKey(entryName) == wanted) best = entryName;
    }
    ::closedir(dir);
    return best;
}

}  // namespace

WineEnvironment ReadWineEnvironment() {
    WineEnvironment env;
    if (const char* prefix = std::getenv("WINEPREFIX")) env.winePrefix = prefix;
    const char* home = std::getenv("HOME");
    env.home = UserHome(home ? home : "");
    return env;
}

ResolvedPath ResolveSettingPath(const std::string& value, const WineEnvironment& env) {
    if (!IsDrivePath(value)) return {value, value, false};

    const bool fromHome = env.winePrefix.empty();
    const std::string prefix = fromHome ? (env.home.empty() ? std::string() : Join(env.home, ".wine")) : env.winePrefix;
    if (prefix.empty() || prefix.front() != '/') {
        std::string why;
        if (!fromHome)
            why = "WINEPREFIX is not an absolute path";
        else if (env.home.empty())
            why = "neither WINEPREFIX nor HOME is set";
        else
            why = "HOME is not an absolute path";
        return {value, value + " (no Wine prefix: " + why + ")", true};
    }

    // Wine runs nothing from a prefix that is not the user's own: its files
    // and programs are another user's to change.
    struct stat st {};
    if (::stat(prefix.c_str(), &st) == 0 && st.st_uid != ::getuid())
        throw Error("Brevan does not look for " + value + " in the Wine prefix " + prefix +
                    ": it belongs to another user (user ID " + std::to_string(st.st_uid) +
                    "), and Wine refuses such a prefix too.");

    std::string mapped = Join(Join(prefix, "dosdevices"), {LowerAscii(value[0]), ':'});

    const std::vector<std::string> parts = PathParts(std::string_view(value).substr(3));
    std::size_t i = 0;
    for (; i < parts.size(); ++i) {
        const std::optional<std::string> entry = FindEntry(mapped, parts[i]);
        if (!entry) break;
        mapped = Join(mapped, *entry);
    }
    for (; i < parts.size(); ++i) mapped = Join(mapped, parts[i]);

    return {mapped, value + " (in the Wine prefix: " + mapped + ")", true};
}

}  // namespace brevan
