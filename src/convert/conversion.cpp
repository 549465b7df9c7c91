#include "convert/conversion.h"

#include "base/error.h"
#include "convert/channel_pass.h"
#include "convert/listing_database.h"
#include "convert/programme_pass.h"
#include "convert/xmltv_elements.h"

#include "os/file_lock.h"
#include "os/folder_helper.h"

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>

namespace brevan {
namespace {

constexpr const char* kGeneratorName = "Kolvenar";

// Refuses a database that is the guide file itself (the output folder is the
// database's folder and the database is called tvdata.xml): the save would
// replace it. What stands at the guide's path was seen when its temporary
// file was made, where a hung share cannot hold this process.
void RefuseGuideAsDatabase(const dao::Database& database, const std::string& databaseShown,
                           const xml::DOMDocument& document, const std::string& guideShown) {
    const auto guide = document.spooledOver();
    if (!guide) return;
    const dao::FileIdentity file = database.File();
    if (file.device == guide->first && file.inode == guide->second)
        throw Error("The listing database " + databaseShown + " is the guide file " + guideShown +
                    " itself; writing the guide would destroy it. Choose another output folder.");
}

std::string GuidePath(const ConversionRequest& request) { return request.outputFolder + "/" + request.guideName; }

std::string GuideShown(const ConversionRequest& request) {
    return request.guideShown.empty() ? GuidePath(request) : request.guideShown;
}

std::string Minutes(std::chrono::minutes wait) {
    return std::to_string(wait.count()) + (wait.count() == 1 ? " minute" : " minutes");
}

ConversionResult Convert(const ConversionRequest& request, const FolderTurn* turn) {
    // The turn covers the read and the save.
    std::optional<FolderTurn> own;
    if (turn == nullptr) own.emplace(TakeFolderTurn(request));
    const std::string outputPath = GuidePath(request);
    const std::string databaseShown = request.databaseShown.empty() ? request.databasePath : request.databaseShown;
    const std::string guideShown = GuideShown(request);

    // The guide goes to its temporary file as it is built, and becomes
    // tvdata.xml only by the save at the end. That file is made first: a
    // folder that takes no file stops the run before the listing is read.
    std::unique_ptr<xml::DOMDocument> document = NewXmlDocument();
    document->spoolTo(outputPath, "the guide file " + guideShown);

    Listing listing = OpenListing(request.databasePath, databaseShown);
    RefuseGuideAsDatabase(*listing.database, databaseShown, *document, guideShown);
    const bool empty = listing.recordset->RecordCount() <= 0;
    if (empty && !request.documentWhenEmpty) {
        CloseListing(listing);
        return ConversionResult::ListingEmpty;  // the temporary file goes with the document
    }
    document->appendChild(document->createProcessingInstruction(
        "xml", request.declareEncoding ? "version='1.0' encoding='UTF-8'" : "version='1.0'"));

    xml::Node root = document->createElement("tv");
    xml::Attribute generator = document->createAttribute("generator-info-name");
    generator.Value = kGeneratorName;
    root.setAttributeNode(generator);
    document->appendChild(root);
    root.appendChild(document->createTextNode(kIndent));

    if (!empty) {
        ChannelPass(*listing.recordset, *document, root);
        if (!request.channelsOnly) {
            listing.recordset->MoveFirst();
            ProgrammePass(*listing.recordset, *document, request.window);
        }
    }

    root.appendChild(document->createTextNode("\r\n"));
    document->save(outputPath);
    CloseListing(listing);
    return empty ? ConversionResult::ListingEmpty : ConversionResult::GuideWritten;
}

}  // namespace

struct FolderTurn::Lock {
    FileLock file;
};

FolderTurn::FolderTurn(std::unique_ptr<Lock> lock) : lock_(std::move(lock)) {}
FolderTurn::FolderTurn(FolderTurn&&) noexcept = default;
FolderTurn& FolderTurn::operator=(FolderTurn&&) noexcept = default;
FolderTurn::~FolderTurn() = default;

FolderTurn TakeFolderTurn(const ConversionRequest& request) {
    // Joined blindly, an empty folder would put the guide into the root folder.
    if (request.outputFolder.empty()) throw Error("No output folder is set.");
    const std::string lockPath = request.outputFolder + "/." + request.guideName + ".lock";
    auto lock = std::make_unique<FolderTurn::Lock>();
    const LockResult result = lock->file.Acquire(lockPath, kFolderTurnWait, request.whileWaiting);
    const std::string remove = " Remove it; Brevan makes the lock file itself.";
    switch (result.status) {
    case LockStatus::Held: return FolderTurn(std::move(lock));
    case LockStatus::Busy:
        throw Error("Another run is using the output folder " + request.outputFolder + ": its lock file " + lockPath +
                    " stayed locked for " + Minutes(kFolderTurnWait) + ". Try again when that run has ended.");
    case LockStatus::HeldHere:
        throw Error("An update run of this program is using the output folder " + request.outputFolder +
                    " (its lock file " + lockPath + ") until its guide is saved. Try again when it has ended.");
    case LockStatus::Link: throw Error("The lock file " + lockPath + " is a symbolic link." + remove);
    case LockStatus::Folder: throw Error("The lock file " + lockPath + " is a folder." + remove);
    case LockStatus::NotAFile:
        throw Error("The lock file " + lockPath + " is not a regular file (a device, pipe or socket)." + remove);
    case LockStatus::OthersFile:
        throw Error("The lock file " + lockPath +
                    " belongs to another user, who has not let you read it. Ask them to make it readable, or "
                    "remove it.");
    case LockStatus::NoAnswer:
        throw Error("The output folder " + request.outputFolder + " does not answer: its lock file " + lockPath +
                    " could not be looked at within " + std::to_string(kFolderAnswerWait.count()) +
                    " seconds. Is it on a network share that has stopped answering?");
    case LockStatus::NoHelper:
        throw Error("Cannot write the guide file " + GuideShown(request) + ": the folder helper " +
                    FolderHelperProgram() + " cannot be started: " + std::strerror(result.error) + ".");
    case LockStatus::CannotOpen: break;
    }
    throw Error("Cannot write the guide file " + GuideShown(request) + ": " + std::strerror(result.error));
}

ConversionResult ConvertListing(const ConversionRequest& request, const FolderTurn* turn) {
    try {
        return Convert(request, turn);
    } catch (const std::bad_alloc&) {
        throw Error("There is not enough memory to convert the listing database " +
                    (request.databaseShown.empty() ? request.databasePath : request.databaseShown) + ".");
    }
}

ConversionResult ConvertListing(const std::string& databasePath, const std::string& outputFolder) {
    ConversionRequest request;
    request.databasePath = databasePath;
    request.outputFolder = outputFolder;
    return ConvertListing(request);
}

}  // namespace brevan
