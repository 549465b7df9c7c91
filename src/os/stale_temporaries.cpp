#include "os/stale_temporaries.h"

#include "os/replace_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <ctime>

namespace brevan {

bool IsTemporaryName(std::string_view entry, std::string_view name) {
    const std::string_view mark = kTemporaryMark;
    const std::size_t prefix = 1 + name.size() + mark.size();
    if (entry.size() != prefix + 6 || entry[0] != '.' || entry.substr(1, name.size()) != name ||
        entry.substr(1 + name.size(), mark.size()) != mark)
        return false;
    for (char c : entry.substr(prefix))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

void RemoveStaleTemporaries(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryName(entry->d_name, name)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || now - st.st_mtime < 60) continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace brevan
