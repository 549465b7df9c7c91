#pragma once
// Where the serialized children of a document's root go: memory, or the
// temporary file beside the target that the save completes and renames.
#include "xml/write_behind.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace brevan::xml {

// The message of a save that failed with `error` (an errno); `label` names
// the file, as in "the guide file /srv/htpc/tvdata.xml".
std::string SaveError(const std::string& label, int error);

class Spool {
public:
    Spool() = default;
    ~Spool();  // removes an unsaved temporary file
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Makes the temporary file beside `path` and writes into it from now on;
    // false (errno set) when it cannot be made. Messages name the file `label`.
    bool Open(const std::string& path, const std::string& label);
    bool Spooled() const { return fd_ >= 0; }
    const std::string& Target() const { return target_; }

    // Appends bytes. A failed write is remembered and reported by Commit.
    // Full buffers are written on a thread of their own (write_behind.h).
    void Append(std::string_view bytes);
    // Bytes appended so far to the file (after a Flush).
    std::uint64_t Written() const { return written_; }
    // Hands the buffered bytes to the file.
    void Flush();
    // A write has failed (waits for the one under way).
    bool Failed();

    // Completes the temporary file and renames it over the target: flushed,
    // given the target's permissions, synced to disk. On any failure the
    // temporary file goes and brevan::Error says why; the target is untouched.
    void Commit();
    // Removes an unsaved temporary file.
    void Discard();

    // Hands the bytes [from, to) of what was appended to `out`, from memory,
    // from the temporary file, or from the committed file. Throws
    // brevan::Error when they cannot be read back.
    void CopyTo(std::uint64_t from, std::uint64_t to, const std::function<void(const char*, std::size_t)>& out);
    // The bytes held in memory (nothing is spooled).
    std::string& Memory() { return memory_; }

private:
    // Waits for the write under way; remembers a failure.
    void Settle();

    std::string memory_;     // without a spool: the bytes
    int fd_ = -1;            // the temporary file, open while spooling
    std::string target_;     // where Commit puts it
    std::string label_;      // how messages name it
    std::string temp_;       // its temporary name
    std::string committed_;  // after Commit: where the bytes now lie
    int error_ = 0;          // the first write failure
    // Two buffers: one fills while the other is written.
    std::unique_ptr<char[]> buffers_[2];
    int filling_ = 0;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;  // bytes handed to the file
    std::unique_ptr<WriteBehind> writer_;
};

}  // namespace brevan::xml
