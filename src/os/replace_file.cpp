#include "os/replace_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brevan {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

int CreateTemporaryBeside(const std::string& target, std::string& tempName) {
    const std::string folder = FolderOf(target);
    const std::size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    tempName = (folder == "/" ? "" : folder) + "/." + name + ".XXXXXX";
    return ::mkostemp(tempName.data(), O_CLOEXEC);
}

mode_t ReplacementMode(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    // Single-threaded: reading the mask by setting it back is safe.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

int WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int CommitTemporary(int fd, const std::string& tempName, const std::string& target, mode_t mode) {
    int failure = 0;
    if (::fchmod(fd, mode) != 0) failure = errno;
    if (failure == 0 && ::fsync(fd) != 0) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && ::rename(tempName.c_str(), target.c_str()) != 0) failure = errno;
    if (failure != 0) {
        ::unlink(tempName.c_str());
        return failure;
    }
    // Make the rename itself durable; the new content is complete either way.
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

} // namespace brevan
