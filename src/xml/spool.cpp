#include "xml/spool.h"

#include "base/error.h"
#include "os/folder_helper.h"
#include "os/replace_file.h"
#include "os/stale_temporaries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>

namespace brevan::xml {
namespace {

constexpr std::size_t kBuffer = 1 << 20;

}  // namespace

std::string SaveError(const std::string& label, int error) {
    if (error == ETIMEDOUT)
        return "Cannot write " + label + ": its folder did not answer within " +
               std::to_string(kFolderAnswerWait.count()) +
               " seconds. Is it on a network share that has stopped answering?";
    return "Cannot write " + label + ": " + std::strerror(error);
}

namespace {

// The errno in a "fail ERRNO" answer; EIO for anything else.
int FailureIn(const std::optional<std::string>& answer) {
    const std::string prefix = std::string(kAnswerFail) + " ";
    int error = EIO;
    if (answer && answer->rfind(prefix, 0) == 0)
        std::from_chars(answer->data() + prefix.size(), answer->data() + answer->size(), error);
    return error;
}

}  // namespace

Spool::~Spool() { Discard(); }

bool Spool::OpenWatched(const std::string& path) {
    auto helper = std::make_unique<FolderHelper>();
    if (const int error = helper->Start({"save", path})) {
        errno = error;
        return false;
    }
    const std::optional<std::string> answer = helper->Answer();
    const std::string ready = kAnswerReady;
    if (!answer || answer->rfind(ready, 0) != 0) {
        errno = helper->Hung() ? ETIMEDOUT : FailureIn(answer);
        return false;
    }
    std::uint64_t device = 0, inode = 0;
    if (std::sscanf(answer->c_str() + ready.size(), " %" SCNu64 " %" SCNu64, &device, &inode) == 2)
        targetFile_.emplace(device, inode);
    helper_ = std::move(helper);
    return true;
}

// Why the helper stopped taking the content: its own answer, or its silence.
int Spool::HelperFailure() {
    if (helper_->Hung()) return ETIMEDOUT;
    const std::optional<std::string> answer = helper_->Answer();
    return helper_->Hung() ? ETIMEDOUT : FailureIn(answer);
}

bool Spool::Open(const std::string& path, const std::string& label) {
    if (!FolderHelperProgram().empty()) {
        if (!OpenWatched(path)) return false;
        target_ = path;
        label_ = label;
        buffers_[0].reset(new char[kBuffer]);  // the socket's buffer overlaps the writing
        return true;
    }
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0)
        targetFile_.emplace(static_cast<std::uint64_t>(target.st_dev), static_cast<std::uint64_t>(target.st_ino));
    // Temporaries that killed saves left go first: on a nearly full disk a
    // large one would make every later save fail for want of space.
    RemoveStaleTemporaries(FolderOf(path), NameOf(path));
    const int made = CreateTemporaryBeside(path, temp_);
    if (made < 0) return false;
    fd_ = made;
    target_ = path;
    label_ = label;
    for (auto& buffer : buffers_) buffer.reset(new char[kBuffer]);
    writer_ = std::make_unique<WriteBehind>(fd_);
    return true;
}

void Spool::Append(std::string_view bytes) {
    if (!Spooled()) {
        memory_.append(bytes);
        return;
    }
    if (bytes.size() >= kBuffer) {
        // Too large to buffer, and not ours to keep: written at once.
        Flush();
        if (helper_) {
            Send(bytes.data(), bytes.size());
            return;
        }
        writer_->Start(bytes.data(), bytes.size());
        Settle();
        written_ += bytes.size();
        return;
    }
    if (kBuffer - used_ < bytes.size()) Flush();
    std::memcpy(buffers_[filling_].get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
}

void Spool::Flush() {
    if (!Spooled() || used_ == 0) return;
    if (helper_) {
        Send(buffers_[0].get(), used_);
        used_ = 0;
        return;
    }
    writer_->Start(buffers_[filling_].get(), used_);
    written_ += used_;
    filling_ ^= 1;
    used_ = 0;
}

void Spool::Send(const char* data, std::size_t size) {
    if (error_ != 0) return;
    // In frames of at most a buffer's size, however much is appended at once.
    for (std::size_t done = 0; done < size;) {
        const std::size_t frame = std::min(kBuffer, size - done);
        if (!helper_->Send(data + done, frame)) {
            error_ = HelperFailure();
            return;
        }
        done += frame;
        written_ += frame;
    }
}

void Spool::Settle() {
    if (writer_ && error_ == 0) error_ = writer_->Wait();
}

bool Spool::Failed() {
    Settle();
    return error_ != 0;
}

void Spool::Commit() {
    Flush();
    if (helper_) {
        int failure = error_;
        if (failure == 0) {
            // An empty frame asks for the commit.
            if (!helper_->Send(nullptr, 0)) {
                failure = HelperFailure();
            } else if (const std::optional<std::string> answer = helper_->Answer(); !answer || *answer != kAnswerDone) {
                failure = helper_->Hung() ? ETIMEDOUT : FailureIn(answer);
            }
        }
        helper_.reset();  // without a commit, the helper removes its file as it ends
        if (failure != 0) throw Error(SaveError(label_, failure));
        committed_ = target_;
        return;
    }
    Settle();
    writer_.reset();
    int failure = error_;
    if (failure == 0) {
        failure = CommitTemporary(fd_, temp_, target_);
    } else {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
    fd_ = -1;
    if (failure != 0) throw Error(SaveError(label_, failure));
    committed_ = target_;
}

void Spool::Discard() {
    helper_.reset();
    if (fd_ < 0) return;
    writer_.reset();
    ::close(fd_);
    ::unlink(temp_.c_str());
    fd_ = -1;
}

void Spool::CopyTo(std::uint64_t from, std::uint64_t to, const std::function<void(const char*, std::size_t)>& out) {
    if (committed_.empty() && !Spooled()) {
        out(memory_.data() + from, static_cast<std::size_t>(to - from));
        return;
    }
    if (helper_) throw Error(SaveError(label_, EOPNOTSUPP));
    if (Spooled()) {
        Flush();
        Settle();
    }
    if (error_ != 0) throw Error(SaveError(label_, error_));
    const int in = Spooled() ? fd_ : ::open(committed_.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw Error(SaveError(label_, errno));
    std::unique_ptr<char[]> chunk(new char[kBuffer]);
    int failure = 0;
    while (from < to) {
        const ssize_t n =
            ::pread(in, chunk.get(), static_cast<std::size_t>(std::min<std::uint64_t>(kBuffer, to - from)),
                    static_cast<off_t>(from));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = n < 0 ? errno : EIO;
            break;
        }
        out(chunk.get(), static_cast<std::size_t>(n));
        from += static_cast<std::uint64_t>(n);
    }
    if (in != fd_) ::close(in);
    if (failure != 0) throw Error(SaveError(label_, failure));
}

}  // namespace brevan::xml
