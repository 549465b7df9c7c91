#pragma once
// The conversion run: reads the listing table of a database and writes the
// XMLTV guide tvdata.xml into a folder, in one save at the end.
#include <chrono>
#include <functional>
#include <memory>
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

// How long a run waits while another run has the output folder's turn.
inline constexpr std::chrono::minutes kFolderTurnWait{2};

// What to convert, and how messages name it.
struct ConversionRequest {
    std::string databasePath;                // the listing database to read
    std::string databaseShown;               // how messages name it; empty: databasePath
    std::string outputFolder;                // the folder of the guide; never empty
    std::string guideShown;                  // how messages name the guide; empty: its path
    std::string guideName = kGuideFileName;  // the guide's file name in outputFolder
    // Called between two tries while another run has the folder's turn (the
    // window's events); may be empty.
    std::function<void()> whileWaiting;
    GuideWindow window;
    // The declaration names its encoding: <?xml version='1.0' encoding='UTF-8'?>.
    bool declareEncoding = false;
    // An empty listing table still gives a document (the root without
    // children) instead of leaving the guide as it was.
    bool documentWhenEmpty = false;
    // Only the channel elements: no programme pass.
    bool channelsOnly = false;
};

// One run's turn at an output folder: the lock on the file "." + guideName +
// ".lock" in it, held while the object lives. Runs into one folder take
// turns, so that a run that started first cannot finish last and put an
// older guide back over a newer one.
class FolderTurn {
public:
    FolderTurn(FolderTurn&&) noexcept;
    FolderTurn& operator=(FolderTurn&&) noexcept;
    ~FolderTurn();

private:
    friend FolderTurn TakeFolderTurn(const ConversionRequest& request);
    struct Lock;
    explicit FolderTurn(std::unique_ptr<Lock> lock);
    std::unique_ptr<Lock> lock_;
};

// Takes the output folder's turn for `request`, trying without blocking for
// at most kFolderTurnWait. Raises brevan::Error: "No output folder is set."
// for an empty outputFolder (before anything is looked at); naming the lock
// file when another run keeps the turn for the whole wait or this process
// has it already, and when the lock file is a link, a folder, not a regular
// file or another user's that we may not open; naming the guide when the
// folder takes no lock file (missing, not writable).
FolderTurn TakeFolderTurn(const ConversionRequest& request);

// Converts the table TVDaten of the database into outputFolder + "/" +
// guideName, in the folder's turn: `turn` when given (an update run takes
// it before its updater starts), else one taken here. Raises brevan::Error
// with a description a user can act on for every failure (those of
// TakeFolderTurn, a missing or damaged database, a Null where a text is
// needed, a guide that cannot be written, a database that is the guide
// itself, lack of memory); then an existing guide is as it was and no
// partial file is left.
ConversionResult ConvertListing(const ConversionRequest& request, const FolderTurn* turn = nullptr);
// The same with the paths as messages name them.
ConversionResult ConvertListing(const std::string& databasePath, const std::string& outputFolder);

}  // namespace brevan
