#include "os/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <random>

namespace brevan {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int CreateTemporaryBeside(const std::string& target, std::string& tempName) {
    const std::string folder = FolderOf(target);
    const std::string stem = (folder == "/" ? "" : folder) + "/." + NameOf(target) + kTemporaryMark;
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    // Made with open rather than mkstemp, so that the kernel gives it the
    // mode a new file gets (0666 less the umask) and nothing has to read the
    // umask, which only setting it again can.
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = stem;
        for (int i = 0; i < 6; ++i) tempName.push_back(kLetters[pick(random)]);
        const int fd = ::open(tempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

int CommitTemporary(int fd, const std::string& tempName, const std::string& target) {
    int failure = 0;
    struct stat old {};
    if (::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // Not permitted for an ordinary user, and then not needed: the file is theirs.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {}
        if (::fchmod(fd, old.st_mode & 0777) != 0) failure = errno;
    }
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

}  // namespace brevan
