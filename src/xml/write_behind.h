#pragma once
// Writes buffers to a file on a thread of its own, one at a time, so that
// the kernel's copying of one buffer overlaps with filling the next. Asks
// the kernel every few megabytes to start writing them back, so that the
// final fsync has little left to wait for.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace brevan::xml {

class WriteBehind {
public:
    explicit WriteBehind(int fd);
    ~WriteBehind();  // waits for the write under way, then ends the thread
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Waits for the write under way to end, then starts writing
    // data[0, size), which must stay as it is until the next Start or Wait.
    // After a failed write nothing more is written.
    void Start(const char* data, std::size_t size);
    // Waits for the write under way to end (as long as that write takes, as
    // a write of the caller's own would). Returns the errno of the first
    // failed write, 0 when all succeeded.
    int Wait();

private:
    void Run();

    int fd_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool busy_ = false;
    bool stop_ = false;
    int error_ = 0;
    std::uint64_t written_ = 0;  // thread only
    std::uint64_t synced_ = 0;   // thread only
    std::thread thread_;
};

}  // namespace brevan::xml
