#include "dao/reader/stream_writer.h"

#include "base/write_all.h"

#include <unistd.h>
#include <cerrno>

namespace brevan::dao::reader {
namespace {

// Rows are sent in chunks of about this size: large enough for few system
// calls, small enough that the engine starts taking them early.
constexpr std::size_t kFlushSize = 256 * 1024;

}  // namespace

StreamWriter::StreamWriter(int fd) : fd_(fd) { buf_.reserve(kFlushSize + 64 * 1024); }

void StreamWriter::Begin(protocol::MessageKind kind) {
    start_ = buf_.size();
    buf_.push_back(static_cast<char>(kind));
    buf_.append(4, '\0');
}

void StreamWriter::End() {
    Patch32(start_ + 1, static_cast<std::uint32_t>(buf_.size() - start_ - protocol::kMessageHeaderSize));
}

void StreamWriter::Patch32(std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) buf_[offset + i] = static_cast<char>(v >> (8 * i));
}

bool StreamWriter::Full() const { return buf_.size() >= kFlushSize; }

bool StreamWriter::Flush() {
    if (WriteAll(fd_, buf_.data(), buf_.size()) != 0) return false;
    buf_.clear();
    return true;
}

bool StreamWriter::Error(protocol::ReaderFailure failure, std::string_view detail) {
    buf_.clear();
    Begin(protocol::MessageKind::Error);
    buf_.push_back(static_cast<char>(failure));
    protocol::PutText(buf_, detail);
    End();
    return Flush();
}

}  // namespace brevan::dao::reader
