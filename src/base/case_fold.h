#pragma once
// Names compared without regard to case, as Windows and Access compare them:
// full Unicode case folding, so "STRASSE" and "straße" are one name, and so
// are "ÄNDERUNG" and "änderung".
#include <string>
#include <string_view>

namespace brevan {

// `name` case-folded; ASCII is folded by hand, the rest by glib. Bytes that
// are not UTF-8 are folded as ASCII and kept otherwise.
std::string FoldCase(std::string_view name);
// Appends-free form for hot paths: folds `name` into `out`.
void FoldCaseInto(std::string_view name, std::string& out);

// True when the two names are equal once folded.
bool SameNameFolded(std::string_view a, std::string_view b);

}  // namespace brevan
