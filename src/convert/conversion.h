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

// What to convert, and how messages name it.
struct ConversionRequest {
    std::string databasePath;   // the listing database to read
    std::string databaseShown;  // how messages name it; empty: databasePath
    std::string outputFolder;   // the folder of tvdata.xml
    std::string guideShown;     // how messages name the guide; empty: its path
};

// Converts the table TVDaten of the database into outputFolder +
// "/tvdata.xml". Runs into one output folder take turns (a lock file
// .tvdata.xml.lock beside the guide). Raises brevan::Error with a
// description a user can act on for every failure (a missing or damaged
// database, a Null where a text is needed, a guide that cannot be written, a
// database that is the guide itself, lack of memory); then an existing
// tvdata.xml is as it was and no partial file is left.
ConversionResult ConvertListing(const ConversionRequest& request);
// The same with the paths as messages name them.
ConversionResult ConvertListing(const std::string& databasePath, const std::string& outputFolder);

}  // namespace brevan
