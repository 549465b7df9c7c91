// Checks shared by the robustness tests: is a guide file valid XMLTV, and
// what is left in an output folder besides it.
#pragma once

#include <string>
#include <vector>

namespace robustness {

// Empty when `path` is well-formed and valid against the XMLTV DTD (or when
// xmllint or the DTD is not installed: then only well-formedness is checked,
// with pugixml); otherwise what the checker said.
std::string GuideProblems(const std::string& path);

// Names in `folder` other than tvdata.xml and the lock file that keeps runs
// into that folder one at a time (.tvdata.xml.lock, kept on purpose), sorted.
std::vector<std::string> OtherFiles(const std::string& folder);

}  // namespace robustness
