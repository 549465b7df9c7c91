#include "jet4/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "jet4/bytes.h"
#include "jet4/jet4_writer.h"

namespace jet4::detail {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw WriteError(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

PageFile::PageFile(std::string target) : target_(std::move(target)) {
    std::string pattern = target_ + ".XXXXXX";
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0) Fail("cannot create a temporary file beside", target_);
    temp_ = pattern;
    // mkstemp makes the file private; give it the mode a normal create would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
}

PageFile::~PageFile() { Abandon(); }

void PageFile::Abandon() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
        unlink(temp_.c_str());
    }
}

std::uint32_t PageFile::Allocate(std::uint32_t count) {
    const auto first = static_cast<std::uint32_t>(written_.size());
    // Page numbers travel in page/row pointers as 24 bits.
    if (first + count > 0xFFFFFF) throw WriteError("database too large: more than 16M pages");
    written_.resize(first + count, false);
    return first;
}

void PageFile::WriteAt(std::uint64_t position, const std::uint8_t* data, std::size_t length) {
    if (fd_ < 0) throw WriteError("database file already closed: " + target_);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = pwrite(fd_, data + done, length - done, static_cast<off_t>(position + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot write", temp_);
        }
        done += static_cast<std::size_t>(n);
    }
}

void PageFile::Write(std::uint32_t page, const std::uint8_t* data) {
    if (fd_ < 0) throw WriteError("database file already closed: " + target_);
    if (page >= written_.size()) throw WriteError("internal error: page " + std::to_string(page) + " not reserved");
    WriteAt(std::uint64_t{page} * kPageSize, data, kPageSize);
    written_[page] = true;
}

void PageFile::Patch(std::uint32_t page, std::size_t offset, const std::uint8_t* data, std::size_t length) {
    if (page >= written_.size() || !written_[page] || offset + length > kPageSize)
        throw WriteError("internal error: patch of page " + std::to_string(page) + " not written");
    WriteAt(std::uint64_t{page} * kPageSize + offset, data, length);
}

void PageFile::Commit() {
    if (fd_ < 0) throw WriteError("database file already closed: " + target_);
    for (std::size_t i = 0; i < written_.size(); ++i)
        if (!written_[i]) throw WriteError("internal error: page " + std::to_string(i) + " never written");
    if (close(fd_) != 0) {
        fd_ = -1;
        unlink(temp_.c_str());
        Fail("cannot write", temp_);
    }
    fd_ = -1;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int saved = errno;
        unlink(temp_.c_str());
        errno = saved;
        Fail("cannot rename the temporary file onto", target_);
    }
}

}  // namespace jet4::detail
