#include "xml/spool.h"

#include "base/error.h"
#include "os/replace_file.h"
#include "os/stale_temporaries.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace brevan::xml {
namespace {

constexpr std::size_t kBuffer = 1 << 20;

}  // namespace

std::string SaveError(const std::string& label, int error) {
    return "Cannot write " + label + ": " + std::strerror(error);
}

Spool::~Spool() { Discard(); }

bool Spool::Open(const std::string& path, const std::string& label) {
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
    writer_->Start(buffers_[filling_].get(), used_);
    written_ += used_;
    filling_ ^= 1;
    used_ = 0;
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
