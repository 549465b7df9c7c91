#pragma once
// The order of the reader's messages: what the engine accepts, and what the
// stream said about its end. No I/O.
#include "dao/protocol/stream.h"
#include "dao/protocol/stream_fault.h"

#include <cstdint>
#include <string>

namespace brevan::dao::protocol {

// A stream for a table is: 'F', 'H', any number of 'D' and 'P', then 'Z'
// with the number of rows sent. A stream for the list of tables is: 'F',
// 'T', then 'Z' with 0. Either may stop at an 'E' instead, also before 'F';
// nothing may follow 'Z' or 'E'. The pages that 'P' reports never go back.
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
    // The file the reader opened ('F'); zero before.
    std::uint64_t Device() const { return device_; }
    std::uint64_t Inode() const { return inode_; }
    // Pages read as the last 'P' said.
    std::uint64_t Pages() const { return pages_; }
    // The reader's own report of an 'E' message.
    ReaderFailure Failure() const { return failure_; }
    const std::string& FailureDetail() const { return detail_; }

private:
    bool table_;
    bool sawFile_ = false;
    bool sawHeader_ = false;
    bool sawTables_ = false;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    std::uint64_t pages_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    std::uint64_t rows_ = 0;
    ReaderFailure failure_{};
    std::string detail_;
};

}  // namespace brevan::dao::protocol
