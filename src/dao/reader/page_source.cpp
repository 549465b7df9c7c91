#include "dao/reader/page_source.h"

#include "dao/reader/damage.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace brevan::dao::reader {
namespace {

constexpr std::size_t kWindowPages = 64;

}  // namespace

PageSource::PageSource(int fd, std::uint64_t fileSize, std::size_t pageSize, MdbHandle* encrypted)
    : fd_(fd), fileSize_(fileSize), pageSize_(pageSize), encrypted_(encrypted) {}

void PageSource::Read(std::uint32_t page, unsigned char* dst, const std::string& owner) {
    if ((std::uint64_t(page) + 1) * pageSize_ > fileSize_)
        throw Damage{"page " + std::to_string(page) + " of " + owner +
                     " lies beyond the end of the file (the file is cut short)"};
    if (encrypted_) {
        if (mdb_read_alt_pg(encrypted_, page) != static_cast<ssize_t>(pageSize_))
            throw Damage{"page " + std::to_string(page) + " cannot be read"};
        std::memcpy(dst, encrypted_->alt_pg_buf, pageSize_);
        ++pagesRead_;
        return;
    }
    if (page < windowFirst_ || page >= windowFirst_ + windowPages_) FillWindow(page);
    std::memcpy(dst, window_.data() + (page - windowFirst_) * pageSize_, pageSize_);
}

void PageSource::FillWindow(std::uint32_t page) {
    window_.resize(kWindowPages * pageSize_);
    const std::uint64_t available = fileSize_ / pageSize_ - page;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kWindowPages, available)) * pageSize_;
    windowPages_ = 0;
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd_, window_.data() + got, want - got, static_cast<off_t>(page) * pageSize_ + got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Damage{"page " + std::to_string(page) + " cannot be read: " + std::strerror(errno)};
        if (n == 0) break;  // the file shrank meanwhile
        got += static_cast<std::size_t>(n);
    }
    if (got < pageSize_) throw Damage{"page " + std::to_string(page) + " cannot be read (the file is cut short)"};
    windowFirst_ = page;
    windowPages_ = static_cast<std::uint32_t>(got / pageSize_);
    pagesRead_ += windowPages_;
}

}  // namespace brevan::dao::reader
