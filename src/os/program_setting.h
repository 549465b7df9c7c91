#pragma once
// A process-wide path set once at start-up (which companion program to run)
// and read by whatever thread starts that program.
#include <mutex>
#include <string>
#include <utility>

namespace brevan {

class ProgramSetting {
public:
    void Set(std::string path) {
        std::lock_guard<std::mutex> hold(mutex_);
        path_ = std::move(path);
    }
    // The path set last; empty when none was set.
    std::string Get() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return path_;
    }

private:
    mutable std::mutex mutex_;
    std::string path_;
};

}  // namespace brevan
