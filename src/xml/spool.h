#pragma once
// Where the serialized children of a document's root go: memory, or the
// temporary file beside the target that the save completes and renames.
#include "os/folder_helper.h"
#include "xml/write_behind.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace brevan::xml {

// The message of a save that failed with `error` (an errno); `label` names
// the file, as in "the guide file /srv/htpc/tvdata.xml". ETIMEDOUT stands
// for a folder that left a step unanswered for kFolderAnswerWait.
std::string SaveError(const std::string& label, int error);

class Spool {
public:
    Spool() = default;
    ~Spool();  // removes an unsaved temporary file
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Makes the temporary file beside `path` and writes into it from now on;
    // false (errno set) when it cannot be made. Messages name the file `label`.
    // With a folder helper program set (os/folder_helper.h), the helper makes,
    // writes and renames the file, and a folder that stops answering fails
    // the save with ETIMEDOUT within kFolderAnswerWait instead of blocking;
    // CopyTo cannot read such a file back before its commit.
    bool Open(const std::string& path, const std::string& label);
    bool Spooled() const { return fd_ >= 0 || helper_ != nullptr; }
    // The file that stood at the target (followed through a link) when Open
    // made the temporary file: {device, inode}; nothing when there was none.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> TargetFile() const { return targetFile_; }
    const std::string& Target() const { return target_; }

    // Appends bytes. A failed write is remembered and reported by Commit.
    // Full buffers go to the helper, or in-process are written on a thread of
    // their own (write_behind.h).
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
    // Hands bytes to the folder helper; remembers a failure.
    void Send(const char* data, std::size_t size);
    bool OpenWatched(const std::string& path);
    int HelperFailure();

    std::string memory_;                                                 // without a spool: the bytes
    int fd_ = -1;                                                        // the temporary file, open while spooling
    std::unique_ptr<FolderHelper> helper_;                               // or the helper that writes it
    std::string target_;                                                 // where Commit puts it
    std::string label_;                                                  // how messages name it
    std::string temp_;                                                   // its temporary name
    std::string committed_;                                              // after Commit: where the bytes now lie
    std::optional<std::pair<std::uint64_t, std::uint64_t>> targetFile_;  // what TargetFile gives
    int error_ = 0;                                                      // the first write failure
    // Two buffers: one fills while the other is written (one with a helper).
    std::unique_ptr<char[]> buffers_[2];
    int filling_ = 0;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;  // bytes handed to the file
    std::unique_ptr<WriteBehind> writer_;
};

}  // namespace brevan::xml
