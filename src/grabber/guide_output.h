#pragma once
// Where the grabber's document goes: standard output, or --output FILE.
#include "convert/conversion.h"

#include <string>

namespace brevan {

// Converts into a temporary folder of its own under `temporaryRoot` (not the
// output folder: standard output has none), copies the complete document to
// standard output, and removes the folder. Raises brevan::Error for every
// failure; standard output then has received nothing, unless the copy
// itself failed (a reader that went away).
void WriteGuideToStandardOutput(ConversionRequest request, const std::string& temporaryRoot);

// Converts into `file` with the guide's own temporary file and rename, so
// that `file` holds either the old or the whole new document. A folder that
// does not exist is not made. Raises brevan::Error for every failure.
void WriteGuideToFile(ConversionRequest request, const std::string& file);

}  // namespace brevan
