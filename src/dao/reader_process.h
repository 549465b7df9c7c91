#pragma once
// Runs the reader program, brevan-reader, for one request and watches it:
// the engine's end of the stream (dao/protocol/stream.h).
#include "dao/dao.h"
#include "dao/protocol/stream.h"
#include "dao/protocol/stream_fault.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace brevan::dao::detail {

struct ReaderRequest {
    std::string path;   // absolute, so that libmdb never searches MDBPATH
    std::string table;  // empty: list the user tables only
    // Columns whose values are sent (no regard to case); empty: every column.
    std::vector<std::string> columns;
};

// Receives the 'T', 'H' and 'D' messages as they arrive.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Where a 'D' message of `size` bytes is to be read to; it must stay
    // valid until Receive. The engine reads rows straight into the
    // snapshot's own storage this way.
    virtual char* RowStorage(std::uint32_t size) = 0;
    // Takes a message; returns what is wrong with a malformed one. May throw
    // brevan::Error to stop reading (the reader is stopped, the error passes on).
    virtual protocol::StreamFault Receive(protocol::MessageKind kind, const char* payload, std::uint32_t size) = 0;
};

// How messages name the database (DatabaseName with its path filled in).
struct Naming {
    std::string noun;
    std::string shown;
    std::string Label() const { return noun + " " + shown; }
};

// Starts the reader for `request` and hands its messages to `sink` while it
// runs. Returns when the stream is complete and the reader has ended.
// Raises brevan::Error, naming the database as `naming` says, for an 'E' message, and when
// the reader cannot be started, crashes, exits with an error, sends a
// malformed stream or sends nothing for the reader timeout. The reader is
// always stopped and, unless it hangs in the kernel, reaped.
// Returns the file the reader opened.
FileIdentity RunReader(const ReaderRequest& request, const Naming& naming, MessageSink& sink);

// How long the reader may send nothing before it counts as hung.
std::chrono::milliseconds ReaderTimeout();

// The reader program that RunReader starts.
std::string ReaderProgram();

}  // namespace brevan::dao::detail
