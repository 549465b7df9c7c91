#pragma once
// Replacing a file whole: the new content goes into a temporary file beside
// the target, which is renamed over the target only once it is complete and
// on disk. A failure at any step leaves the target as it was and removes the
// temporary file. Used by the guide's save and the INI write.
#include <cstddef>
#include <string>
#include <sys/types.h>

namespace brevan {

// The folder part of `path`: "." for a bare name, "/" for a file in the root.
std::string FolderOf(const std::string& path);

// Creates the temporary file ".<name>.XXXXXX" beside `target` (close-on-exec)
// and puts its name in `tempName`. Returns its descriptor, or -1 with errno set.
int CreateTemporaryBeside(const std::string& target, std::string& tempName);

// The mode a replacement of `target` gets: the existing file's, else 0666
// less the umask.
mode_t ReplacementMode(const std::string& target);

// Writes all of `data` to `fd`, retrying short and interrupted writes.
// Returns 0, or the errno of the failed write.
int WriteAll(int fd, const char* data, std::size_t size);

// Gives the temporary file `mode`, syncs it, closes it (always) and renames it
// over `target`, then syncs the folder so the rename lasts. Returns 0, or the
// errno of the first step that failed; then the temporary file is removed
// and `target` is untouched.
int CommitTemporary(int fd, const std::string& tempName, const std::string& target, mode_t mode);

} // namespace brevan
