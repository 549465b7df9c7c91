// The installed layout that the install tests expect, and the small steps
// they share: installing this build into a folder, listing a tree, finding
// a tool.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace installtest {

// Every file (not folder) that an install puts below its prefix, relative to
// it and sorted, each preceded by `under` ("usr/" for the package's root).
std::vector<std::string> ExpectedFiles(const std::string& under = "");

// Every file and symbolic link below `root`, relative to it and sorted.
std::vector<std::string> FilesBelow(const std::filesystem::path& root);

// Runs `cmake --install` of this build with `prefix`; fails the test (and
// returns false) when it does not succeed.
bool InstallInto(const std::filesystem::path& prefix);

// The full path of `program` found in PATH, or empty.
std::string FindProgram(const std::string& program);

// The value of `key` in `text` ("key=value" lines), or empty.
std::string LineValue(const std::string& text, const std::string& key);

}  // namespace installtest
