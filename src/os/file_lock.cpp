#include "os/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>

namespace brevan {

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

int FileLock::Acquire(const std::string& path) {
    // Another user's lock file (the front end's account) can be locked read-only.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        // No lock file, and no right to make one: the folder's refusal is the reason.
        if (fd < 0) return errno == ENOENT ? EACCES : errno;
    }
    if (fd < 0) return errno;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        return error;
    }
    fd_ = fd;
    return 0;
}

}  // namespace brevan
