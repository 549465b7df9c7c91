#pragma once
// The cleaning of a broadcast's description before it enters the guide.
#include <string>

namespace brevan {

// Trims blanks, turns every "<br>" into a blank, and shortens a text that has
// a period at or after position 1500 (UTF-16 code units, from 1): up to and
// including that period when it lies at 2000 or before, else to its first
// 2000 code units (never half a character); then trims blanks again.
std::string CleanDescription(std::string text);
// The same on a text in place.
void CleanDescriptionInPlace(std::string& text);

}  // namespace brevan
