#pragma once
// The order of the reader's messages: what the engine accepts, and what the
// stream said about its end. No I/O.
#include "dao/protocol/stream.h"
#include "dao/protocol/stream_fault.h"

#include <cstdint>
#include <string>

namespace brevan::dao::protocol {

// A stream for a table is: 'H', any number of 'D', then 'Z' with the number
// of rows sent. A stream for the list of tables is: 'T', then 'Z' with 0.
// Either may stop at an 'E' instead; nothing may follow 'Z' or 'E'.
class StreamChecker {
public:
    explicit StreamChecker(bool tableRequested) : table_(tableRequested) {}

    // Checks the next message. None when it belongs where it stands (the
    // caller then uses it); else what is wrong.
    StreamFault Accept(MessageKind kind, const char* payload, std::uint32_t size);

    // Once the stream has ended: a fault if it ended without 'Z' or 'E' is
    // for the caller to name (it may know why, e.g. a crash).
    bool Ended() const { return ended_; }
    bool Failed() const { return failed_; }
    // The reader's own report of an 'E' message.
    ReaderFailure Failure() const { return failure_; }
    const std::string& FailureDetail() const { return detail_; }

private:
    bool table_;
    bool sawHeader_ = false;
    bool ended_ = false;
    bool failed_ = false;
    std::uint64_t rows_ = 0;
    ReaderFailure failure_{};
    std::string detail_;
};

} // namespace brevan::dao::protocol
