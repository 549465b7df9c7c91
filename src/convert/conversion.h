#pragma once
// The conversion run: reads the listing table of a database and writes the
// XMLTV guide tvdata.xml into a folder, in one save at the end.
#include <optional>
#include <string>

namespace brevan {

enum class ConversionResult {
    GuideWritten,  // tvdata.xml holds the new guide
    ListingEmpty,  // the table has no rows: no file was written (with documentWhenEmpty, one without programmes)
};

// The guide's file name in the output folder.
inline constexpr const char* kGuideFileName = "tvdata.xml";

// The days whose programmes the guide holds, counted from today (local
// time): a programme is written when its start date lies in [today +
// offsetDays, today + offsetDays + days). Its stop is the next row's start
// whatever the window, so that two adjacent windows joined give the larger
// one. Without `days` the window has no end.
struct GuideWindow {
    int offsetDays = 0;
    std::optional<int> days;
};

// What to convert, and how messages name it.
struct ConversionRequest {
    std::string databasePath;   // the listing database to read
    std::string databaseShown;  // how messages name it; empty: databasePath
    std::string outputFolder;   // the folder of tvdata.xml
    std::string guideShown;     // how messages name the guide; empty: its path
    // The guide's file name in outputFolder; empty: tvdata.xml.
    std::string guideFileName;
    GuideWindow window;
    // The declaration names its encoding: <?xml version='1.0' encoding='UTF-8'?>.
    bool declareEncoding = false;
    // An empty listing table still gives a document (the root without
    // children) instead of leaving the guide as it was.
    bool documentWhenEmpty = false;
    // Only the channel elements: no programme pass.
    bool channelsOnly = false;
};

// Converts the table TVDaten of the database into outputFolder + "/" +
// the guide's file name. Runs into one output file take turns (a lock file
// .<name>.lock beside the guide). Raises brevan::Error with a
// description a user can act on for every failure (a missing or damaged
// database, a Null where a text is needed, a guide that cannot be written, a
// database that is the guide itself, lack of memory); then an existing
// tvdata.xml is as it was and no partial file is left.
ConversionResult ConvertListing(const ConversionRequest& request);
// The same with the paths as messages name them.
ConversionResult ConvertListing(const std::string& databasePath, const std::string& outputFolder);

}  // namespace brevan
