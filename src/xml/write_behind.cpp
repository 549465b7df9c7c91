#include "xml/write_behind.h"

#include "base/write_all.h"

#include <fcntl.h>

namespace brevan::xml {
namespace {

constexpr std::uint64_t kWriteBack = 8u << 20;

}  // namespace

WriteBehind::WriteBehind(int fd) : fd_(fd), thread_([this] { Run(); }) {}

WriteBehind::~WriteBehind() {
    {
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait(hold, [this] { return !busy_; });
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void WriteBehind::Start(const char* data, std::size_t size) {
    {
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait(hold, [this] { return !busy_; });
        if (error_ != 0 || size == 0) return;
        data_ = data;
        size_ = size;
        busy_ = true;
    }
    changed_.notify_all();
}

int WriteBehind::Wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return !busy_; });
    return error_;
}

void WriteBehind::Run() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        changed_.wait(hold, [this] { return busy_ || stop_; });
        if (!busy_) return;
        const char* data = data_;
        const std::size_t size = size_;
        hold.unlock();
        const int error = WriteAll(fd_, data, size);
        if (error == 0) {
            written_ += size;
            if (written_ - synced_ >= kWriteBack) {
                ::sync_file_range(fd_, static_cast<off_t>(synced_), static_cast<off_t>(written_ - synced_),
                                  SYNC_FILE_RANGE_WRITE);
                synced_ = written_;
            }
        }
        hold.lock();
        error_ = error;
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace brevan::xml
