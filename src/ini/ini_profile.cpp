#include "ini/ini_profile.h"

#include "ini/ini_text.h"
#include "base/write_all.h"
#include "os/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

namespace brevan {
namespace {

// A settings file is a few hundred bytes; anything this large is not one.
constexpr off_t kMaxIniBytes = 64 * 1024 * 1024;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

struct FileContent {
    bool exists = false;
    std::string bytes;
    struct stat info {};
};

// The whole file, `exists` false for a missing one; nothing when it exists
// but cannot be read as a regular file of sane size.
std::optional<FileContent> ReadWholeFile(const std::string& path) {
    FileContent content;
    // Without O_NONBLOCK a named pipe in the file's place blocks the open
    // until some writer comes, which may be never; a regular file ignores it.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT) return content;
        return std::nullopt;
    }
    if (::fstat(fd.get(), &content.info) != 0 || !S_ISREG(content.info.st_mode) || content.info.st_size > kMaxIniBytes)
        return std::nullopt;
    content.exists = true;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        content.bytes.append(buffer, static_cast<std::size_t>(n));
        if (content.bytes.size() > static_cast<std::size_t>(kMaxIniBytes)) return std::nullopt;
    }
    return content;
}

// The file a write must replace: the target of a symbolic link, so that the
// rename does not swap the link for a plain file.
std::string WriteTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string target(real);
            std::free(real);
            return target;
        }
    }
    return path;
}

// Writes `bytes` to a new file beside `target` and renames it over `target`;
// the new file keeps the old one's owner and permissions.
bool ReplaceFile(const std::string& target, const std::string& bytes) {
    std::string temp;
    const int fd = CreateTemporaryBeside(target, temp);
    if (fd < 0) return false;
    if (WriteAll(fd, bytes.data(), bytes.size()) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    return CommitTemporary(fd, temp, target) == 0;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& appName, const std::string& keyName,
                                    const std::string& defaultValue, const std::string& fileName) {
    const auto content = ReadWholeFile(fileName);
    if (!content || !content->exists) return defaultValue;
    const ini::IniText text = ini::DecodeIniBytes(content->bytes);
    const auto value = ini::FindValue(text.text, appName, keyName);
    return value ? *value : defaultValue;
}

bool WritePrivateProfileString(const std::string& appName, const std::string& keyName, const std::string& value,
                               const std::string& fileName) {
    if (fileName.empty()) return false;
    const std::string target = WriteTarget(fileName);
    const auto content = ReadWholeFile(target);
    if (!content) return false;  // there is a file, but its content cannot be kept
    // A file made read-only stays as it is, although the rename could replace it.
    if (content->exists && ::access(target.c_str(), W_OK) != 0) return false;
    ini::IniText text = ini::DecodeIniBytes(content->bytes);
    auto updated = ini::SetValue(text.text, appName, keyName, value);
    if (!updated) return false;
    text.text = std::move(*updated);
    const std::string bytes = ini::EncodeIniText(text);
    if (content->exists && bytes == content->bytes) return true;  // already stored as asked
    return ReplaceFile(target, bytes);
}

}  // namespace brevan
