#pragma once
// Replacing a file whole: the new content goes into a temporary file beside
// the target, which is renamed over the target only once it is complete and
// on disk. A failure at any step leaves the target as it was and removes the
// temporary file. Used by the guide's save and the INI write.
#include <cstddef>
#include <string>

namespace brevan {

// The folder part of `path`: "." for a bare name, "/" for a file in the root.
std::string FolderOf(const std::string& path);
// The name part of `path`.
std::string NameOf(const std::string& path);

// What a temporary file's name has between the target's name and its six
// random characters: a mark nobody else would choose, so that
// RemoveStaleTemporaries never takes a user's file (".tvdata.xml.backup")
// for one of ours.
inline constexpr const char* kTemporaryMark = ".brevan-";

// Creates the temporary file ".<name>.brevan-XXXXXX" beside `target` (six
// random letters and digits, close-on-exec, mode 0666 less the umask, as a
// new file gets) and puts its name in `tempName`. Returns its descriptor, or
// -1 with errno set.
int CreateTemporaryBeside(const std::string& target, std::string& tempName);

// Completes the temporary file and renames it over `target`, then syncs the
// folder so the rename lasts. When `target` is a regular file (looked at
// itself, never through a link), the new file takes its owner and group where
// we may (as root, for a file of the front end's account) and its permission
// bits, without the set-user-ID, set-group-ID and sticky bits; else it keeps
// the mode it was created with. The temporary file is closed always. Returns
// 0, or the errno of the first step that failed; then the temporary file is
// removed and `target` is untouched.
int CommitTemporary(int fd, const std::string& tempName, const std::string& target);

}  // namespace brevan
