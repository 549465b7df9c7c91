#pragma once
// The conversion run: reads the listing table of a database and writes the
// XMLTV guide tvdata.xml into a folder, in one save at the end.
#include <string>

namespace brevan {

enum class ConversionResult {
    GuideWritten,  // tvdata.xml holds the new guide
    ListingEmpty,  // the table has no rows: no file was written
};

// The guide's file name in the output folder.
inline constexpr const char* kGuideFileName = "tvdata.xml";

// Converts the table TVDaten of the database at `databasePath` into
// `outputFolder` + "/tvdata.xml". Raises brevan::Error with a description a
// user can act on for every failure (a missing or damaged database, a Null
// where a text is needed, a guide that cannot be written, lack of memory);
// then an existing tvdata.xml is as it was and no partial file is left.
ConversionResult ConvertListing(const std::string& databasePath, const std::string& outputFolder);

} // namespace brevan
