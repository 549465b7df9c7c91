#include "dao/protocol/assembler.h"

namespace brevan::dao::protocol {
namespace {

// Messages other than rows are small: a header of a few thousand columns, an
// error text, the list of tables.
constexpr std::uint32_t kMaxOtherPayload = 1u << 24;

}  // namespace

MessageAssembler::MessageAssembler(std::function<char*(std::uint32_t)> rowStorage)
    : rowStorage_(std::move(rowStorage)) {}

std::span<char> MessageAssembler::Want() {
    if (headerGot_ < kMessageHeaderSize) return {header_ + headerGot_, kMessageHeaderSize - headerGot_};
    return {payload_ + payloadGot_, size_ - payloadGot_};
}

StreamFault MessageAssembler::Got(std::size_t count, std::optional<Message>& complete) {
    complete.reset();
    if (headerGot_ < kMessageHeaderSize) {
        headerGot_ += count;
        if (headerGot_ < kMessageHeaderSize) return StreamFault::None;
        const auto* b = reinterpret_cast<const unsigned char*>(header_);
        size_ = b[1] | (b[2] << 8) | (b[3] << 16) | (std::uint32_t(b[4]) << 24);
        kind_ = static_cast<MessageKind>(header_[0]);
        if (size_ > kMaxPayload) return StreamFault::ImpossibleSize;
        if (kind_ == MessageKind::Rows) {
            payload_ = rowStorage_(size_);
        } else {
            if (size_ > kMaxOtherPayload) return StreamFault::ImpossibleSize;
            buffer_.resize(size_);
            payload_ = buffer_.data();
        }
        payloadGot_ = 0;
    } else {
        payloadGot_ += count;
    }
    if (payloadGot_ == size_) {
        headerGot_ = 0;
        complete = Message{kind_, payload_, size_};
    }
    return StreamFault::None;
}

StreamFault MessageAssembler::Finish() const { return headerGot_ != 0 ? StreamFault::BreaksOff : StreamFault::None; }

}  // namespace brevan::dao::protocol
