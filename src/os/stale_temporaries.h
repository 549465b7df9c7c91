#pragma once
// Temporary files that replacements killed before their rename left behind
// (kill -9, the OOM killer, a power cut).
#include <string>
#include <string_view>

namespace brevan {

// True when `entry` is a name CreateTemporaryBeside gives for a file named
// `name`: "." + name + ".brevan-" and six letters or digits. Files of the
// older naming (".tvdata.xml.XXXXXX") are not: they cannot be told from a
// user's own files.
bool IsTemporaryName(std::string_view entry, std::string_view name);

// Removes, in `folder`, the temporary files of `name` that a killed
// replacement left: regular files (never through a link) of our own user,
// named exactly so and untouched for a minute, so that a replacement writing
// at the same moment keeps its file. Failures here change nothing.
void RemoveStaleTemporaries(const std::string& folder, const std::string& name);

}  // namespace brevan
