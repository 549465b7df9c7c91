#pragma once
// Runs the reader (mdb_reader_child.h) in a child process and watches it.
// libmdb is not safe on damaged files: it can crash, loop for ever or print
// to the terminal. In a child process each of these becomes one clear
// brevan::Error, and the engine's own process is never at risk.
#include "dao/reader/reader.h"
#include "dao/protocol/stream.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace brevan::dao::detail {

// Receives the 'T', 'H' and 'D' messages as they arrive. Either may throw,
// which ends the reader process and passes the exception on.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Where a 'D' message of `size` bytes is to be read to; it must stay
    // valid until Receive. The engine reads rows straight into the
    // snapshot's own storage this way.
    virtual char* RowStorage(std::uint32_t size) = 0;
    virtual void Receive(MessageKind kind, const char* payload, std::uint32_t size) = 0;
};

// Forks the reader for `request` and hands its messages to `sink` while it
// runs. Returns when the stream is complete and the process has exited.
// Raises brevan::Error, naming `displayPath`, for an 'E' message, and when
// the process crashes, exits with an error, sends a malformed stream or sends
// nothing for the reader timeout. The process is always reaped.
void RunReader(const ReaderRequest& request, const std::string& displayPath, MessageSink& sink);

// How long the reader may send nothing before it counts as hung.
std::chrono::milliseconds ReaderTimeout();

} // namespace brevan::dao::detail
