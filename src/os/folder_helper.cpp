#include "os/folder_helper.h"

#include "os/program_setting.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

namespace brevan {
namespace {

using Clock = std::chrono::steady_clock;

// How often `between` runs while an answer is awaited.
constexpr std::chrono::milliseconds kPollSlice{50};
// How long a killed helper, or one whose socket was closed, is waited for
// before it is left behind (one the kernel holds on a hung share).
constexpr std::chrono::milliseconds kKillGrace{1000};
// The socket's buffer: large enough that the guide flows in few switches.
constexpr int kSocketBuffer = 1 << 20;

ProgramSetting& HelperProgram() {
    static ProgramSetting program;
    return program;
}

}  // namespace

void SetFolderHelperProgram(std::string path) { HelperProgram().Set(std::move(path)); }

std::string FolderHelperProgram() { return HelperProgram().Get(); }

FolderHelper::~FolderHelper() { Close(); }

int FolderHelper::Start(const std::vector<std::string>& arguments) {
    Close();
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return errno;
    ::setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &kSocketBuffer, sizeof kSocketBuffer);
    ::setsockopt(ends[1], SOL_SOCKET, SO_RCVBUF, &kSocketBuffer, sizeof kSocketBuffer);
    SpawnRequest request{FolderHelperProgram(), arguments, std::nullopt, {}};
    request.descriptors = {{STDIN_FILENO, -1}, {STDOUT_FILENO, -1}, {kFolderHelperSocket, ends[1]}};
    Spawned started = Process::Spawn(request);
    ::close(ends[1]);
    if (!started.process) {
        ::close(ends[0]);
        return started.error;
    }
    socket_ = ends[0];
    process_ = std::move(started.process);
    hung_ = false;
    buffer_.clear();
    return 0;
}

void FolderHelper::GiveUp() {
    hung_ = true;
    if (process_) {
        process_->Kill();
        // A helper in an uninterruptible call on a hard mount dies only when
        // the call returns; it is not waited for beyond the grace.
        process_->Wait(kKillGrace);
    }
    Close();
}

std::optional<std::string> FolderHelper::Answer(const std::function<void()>& between) {
    Clock::time_point deadline = Clock::now() + kFolderAnswerWait;
    while (socket_ >= 0) {
        // What has arrived is taken first, so that a long `between` (a
        // window's nested event loop) cannot pass for the helper's silence.
        bool ended = false;
        for (;;) {
            char chunk[256];
            const ssize_t got = ::recv(socket_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got > 0) {
                buffer_.append(chunk, static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            ended = got == 0 || errno != EAGAIN;
            break;
        }
        for (std::size_t end; (end = buffer_.find('\n')) != std::string::npos;) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (line != kAnswerWaiting) return line;
            deadline = Clock::now() + kFolderAnswerWait;
        }
        if (ended) break;  // the helper ended without an answer
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            GiveUp();
            return std::nullopt;
        }
        pollfd ready{socket_, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(std::min(left, kPollSlice).count())) == 0 && between) between();
    }
    Close();
    return std::nullopt;
}

bool FolderHelper::SendAll(const char* data, std::size_t size) {
    Clock::time_point deadline = Clock::now() + kFolderAnswerWait;
    while (size > 0) {
        if (socket_ < 0) return false;
        const ssize_t sent = ::send(socket_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            size -= static_cast<std::size_t>(sent);
            deadline = Clock::now() + kFolderAnswerWait;
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno != EAGAIN) return false;  // the helper has gone
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            GiveUp();
            return false;
        }
        pollfd ready{socket_, POLLOUT, 0};
        ::poll(&ready, 1, static_cast<int>(left.count()));
    }
    return true;
}

bool FolderHelper::Send(const char* data, std::size_t size) {
    const std::uint32_t length = static_cast<std::uint32_t>(size);
    const unsigned char header[4] = {static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
                                     static_cast<unsigned char>(length >> 16),
                                     static_cast<unsigned char>(length >> 24)};
    return SendAll(reinterpret_cast<const char*>(header), sizeof header) && SendAll(data, size);
}

void FolderHelper::Close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    if (process_) {
        // Without its socket the helper ends at once; one that the kernel
        // holds is left to end on its own.
        if (!hung_) process_->Wait(kKillGrace);
        process_->Close();
        process_.reset();
    }
}

}  // namespace brevan
