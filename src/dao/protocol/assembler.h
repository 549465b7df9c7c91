#pragma once
// Reassembles the reader's messages from the bytes of its stream. No I/O: the
// caller reads into the space Want() names and hands the count to Got(). Row
// messages are read straight into storage the caller provides, so the rows'
// bytes are never copied.
#include "dao/protocol/stream.h"
#include "dao/protocol/stream_fault.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace brevan::dao::protocol {

struct Message {
    MessageKind kind;
    const char* payload;  // valid until the next call of Got
    std::uint32_t size;
};

class MessageAssembler {
public:
    // `rowStorage(size)` returns where a rows message of `size` bytes is to
    // be read to; it must stay valid until that message is complete.
    explicit MessageAssembler(std::function<char*(std::uint32_t)> rowStorage);

    // Where the next bytes of the stream go: never empty.
    std::span<char> Want();

    // Takes `count` bytes (0 < count <= Want().size()) read into Want().
    // Returns StreamFault::None, or what is wrong (then the stream is lost).
    // When they complete a message, `complete` is set to it.
    StreamFault Got(std::size_t count, std::optional<Message>& complete);

    // At the end of the stream: BreaksOff when it stops inside a message.
    StreamFault Finish() const;

private:
    std::function<char*(std::uint32_t)> rowStorage_;
    char header_[kMessageHeaderSize] = {};
    std::size_t headerGot_ = 0;
    MessageKind kind_{};
    std::uint32_t size_ = 0;
    char* payload_ = nullptr;
    std::size_t payloadGot_ = 0;
    std::string buffer_;
};

}  // namespace brevan::dao::protocol
