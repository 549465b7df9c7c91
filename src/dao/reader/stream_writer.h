#pragma once
// Writes the reader's messages (dao/protocol/stream.h) to the stream
// descriptor in large chunks.
#include "dao/protocol/stream.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace brevan::dao::reader {

class StreamWriter {
public:
    explicit StreamWriter(int fd);

    // The buffer messages are built in: Begin, then the payload appended
    // with the protocol's Put functions, then End.
    std::string& Buffer() { return buf_; }
    void Begin(protocol::MessageKind kind);
    void End();
    // Patches a u32 at `offset` of the buffer (a count written before it was known).
    void Patch32(std::size_t offset, std::uint32_t v);
    // True when the buffer holds enough to be worth a write.
    bool Full() const;
    // Writes the buffer out; false when the stream cannot be written.
    [[nodiscard]] bool Flush();
    // Writes an 'E' message at once (dropping an unfinished message first).
    [[nodiscard]] bool Error(protocol::ReaderFailure failure, std::string_view detail);

private:
    int fd_;
    std::string buf_;
    std::size_t start_ = 0;
};

}  // namespace brevan::dao::reader
