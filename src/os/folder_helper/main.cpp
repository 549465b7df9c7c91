// brevan-folder: the output folder's work for brevan, in a process of its
// own so that a share that stops answering blocks this process only
// (os/folder_helper.h describes the two jobs and their answers).
#include "base/write_all.h"
#include "os/file_lock.h"
#include "os/folder_helper.h"
#include "os/replace_file.h"
#include "os/stale_temporaries.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace brevan;
using Clock = std::chrono::steady_clock;

constexpr int kSocket = kFolderHelperSocket;
// How much is written before the kernel is asked to start writing it back,
// so that the final fsync has little left to wait for.
constexpr std::uint64_t kWriteBehind = 8u << 20;
constexpr std::size_t kLargestFrame = 64u << 20;

void Say(const std::string& line) {
    const std::string text = line + "\n";
    ::send(kSocket, text.data(), text.size(), MSG_NOSIGNAL);
}

void SayError(const char* answer, int error) { Say(std::string(answer) + " " + std::to_string(error)); }

// Reads exactly `size` bytes; false at the end of the stream or on an error.
bool ReceiveAll(char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::recv(kSocket, data, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

int Lock(const std::string& path, long long waitMs) {
    FileLock lock;
    Clock::time_point lastSign = Clock::now();
    const LockResult result = lock.Acquire(path, std::chrono::milliseconds(waitMs), [&] {
        if (Clock::now() - lastSign < std::chrono::seconds(1)) return;
        Say(kAnswerWaiting);
        lastSign = Clock::now();
    });
    switch (result.status) {
    case LockStatus::Held: Say(kAnswerHeld); break;
    case LockStatus::Busy:
    case LockStatus::HeldHere: Say(kAnswerBusy); return 0;
    case LockStatus::Link: Say(kAnswerLink); return 0;
    case LockStatus::Folder: Say(kAnswerFolder); return 0;
    case LockStatus::NotAFile: Say(kAnswerNotAFile); return 0;
    case LockStatus::OthersFile: Say(kAnswerOthersFile); return 0;
    case LockStatus::NoAnswer:
    case LockStatus::NoHelper:
    case LockStatus::CannotOpen: SayError(kAnswerCannotOpen, result.error); return 0;
    }
    // Held until brevan closes its end, or ends.
    for (;;) {
        char byte;
        const ssize_t got = ::recv(kSocket, &byte, 1, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return 0;
    }
}

int Save(const std::string& target) {
    // What stands at the target now (through a link, as a reader of it
    // sees it), so that brevan can refuse to replace its own database.
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    RemoveStaleTemporaries(FolderOf(target), NameOf(target));
    std::string temp;
    const int fd = CreateTemporaryBeside(target, temp);
    if (fd < 0) {
        SayError(kAnswerFail, errno);
        return 0;
    }
    Say(exists ? std::string(kAnswerReady) + " " + std::to_string(st.st_dev) + " " + std::to_string(st.st_ino)
               : std::string(kAnswerReady));
    std::unique_ptr<char[]> frame;
    std::size_t capacity = 0;
    std::uint64_t written = 0, synced = 0;
    for (;;) {
        unsigned char header[4];
        if (!ReceiveAll(reinterpret_cast<char*>(header), sizeof header)) break;  // no commit: discard
        const std::size_t size = header[0] | header[1] << 8 | header[2] << 16 | std::size_t{header[3]} << 24;
        if (size == 0) {
            const int failure = CommitTemporary(fd, temp, target);
            if (failure == 0) {
                Say(kAnswerDone);
            } else {
                SayError(kAnswerFail, failure);
            }
            return 0;
        }
        if (size > kLargestFrame) break;
        if (size > capacity) {
            frame.reset(new char[size]);
            capacity = size;
        }
        if (!ReceiveAll(frame.get(), size)) break;
        if (const int failure = WriteAll(fd, frame.get(), size)) {
            ::close(fd);
            ::unlink(temp.c_str());
            SayError(kAnswerFail, failure);
            return 0;
        }
        written += size;
        if (written - synced >= kWriteBehind) {
            ::sync_file_range(fd, static_cast<off_t>(synced), static_cast<off_t>(written - synced),
                              SYNC_FILE_RANGE_WRITE);
            synced = written;
        }
    }
    ::close(fd);
    ::unlink(temp.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Past a file size limit a write fails with EFBIG, which is answered,
    // instead of killing this process without a word.
    ::signal(SIGXFSZ, SIG_IGN);
    const std::string job = argc > 1 ? argv[1] : "";
    if (job == "lock" && argc == 4) {
        long long waitMs = 0;
        const std::string wait = argv[3];
        if (std::from_chars(wait.data(), wait.data() + wait.size(), waitMs).ec == std::errc())
            return Lock(argv[2], waitMs);
    }
    if (job == "save" && argc == 3) return Save(argv[2]);
    const std::string usage = "usage: brevan-folder lock PATH WAIT_MS | brevan-folder save TARGET\n";
    if (::write(STDERR_FILENO, usage.data(), usage.size()) < 0) return 2;
    return 2;
}
