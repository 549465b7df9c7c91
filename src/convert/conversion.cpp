#include "convert/conversion.h"

#include "base/error.h"
#include "convert/channel_pass.h"
#include "convert/listing_database.h"
#include "convert/programme_pass.h"
#include "convert/xmltv_elements.h"

#include "os/file_lock.h"

#include <sys/stat.h>
#include <cstring>
#include <memory>
#include <new>

namespace brevan {
namespace {

constexpr const char* kGeneratorName = "Kolvenar";

// Refuses a database that is the guide file itself (the output folder is the
// database's folder and the database is called tvdata.xml): the save would
// replace it.
void RefuseGuideAsDatabase(const dao::Database& database, const std::string& databaseShown,
                           const std::string& outputPath, const std::string& guideShown) {
    struct stat guide {};
    if (::stat(outputPath.c_str(), &guide) != 0) return;
    const dao::FileIdentity file = database.File();
    if (file.device == static_cast<std::uint64_t>(guide.st_dev) &&
        file.inode == static_cast<std::uint64_t>(guide.st_ino))
        throw Error("The listing database " + databaseShown + " is the guide file " + guideShown +
                    " itself; writing the guide would destroy it. Choose another output folder.");
}

ConversionResult Convert(const ConversionRequest& request) {
    const std::string outputPath = request.outputFolder + "/" + kGuideFileName;
    const std::string databaseShown = request.databaseShown.empty() ? request.databasePath : request.databaseShown;
    const std::string guideShown = request.guideShown.empty() ? outputPath : request.guideShown;
    // One run at a time per output folder: a run that started first could
    // otherwise finish last and put an older guide back over a newer one.
    // The lock covers the read and the save; a run that finds it taken waits.
    FileLock lock;
    if (const int error = lock.Acquire(request.outputFolder + "/." + kGuideFileName + ".lock"))
        throw Error("Cannot write the guide file " + guideShown + ": " + std::strerror(error));

    // The guide goes to its temporary file as it is built, and becomes
    // tvdata.xml only by the save at the end. That file is made first: a
    // folder that takes no file stops the run before the listing is read.
    std::unique_ptr<xml::DOMDocument> document = NewXmlDocument();
    document->spoolTo(outputPath, "the guide file " + guideShown);

    Listing listing = OpenListing(request.databasePath, databaseShown);
    RefuseGuideAsDatabase(*listing.database, databaseShown, outputPath, guideShown);
    if (listing.recordset->RecordCount() <= 0) {
        CloseListing(listing);
        return ConversionResult::ListingEmpty;  // the temporary file goes with the document
    }
    document->appendChild(document->createProcessingInstruction("xml", "version='1.0'"));

    xml::Node root = document->createElement("tv");
    xml::Attribute generator = document->createAttribute("generator-info-name");
    generator.Value = kGeneratorName;
    root.setAttributeNode(generator);
    document->appendChild(root);
    root.appendChild(document->createTextNode(kIndent));

    ChannelPass(*listing.recordset, *document, root);
    listing.recordset->MoveFirst();
    ProgrammePass(*listing.recordset, *document);

    root.appendChild(document->createTextNode("\r\n"));
    document->save(outputPath);
    CloseListing(listing);
    return ConversionResult::GuideWritten;
}

}  // namespace

ConversionResult ConvertListing(const ConversionRequest& request) {
    try {
        return Convert(request);
    } catch (const std::bad_alloc&) {
        throw Error("There is not enough memory to convert the listing database " +
                    (request.databaseShown.empty() ? request.databasePath : request.databaseShown) + ".");
    }
}

ConversionResult ConvertListing(const std::string& databasePath, const std::string& outputFolder) {
    return ConvertListing(ConversionRequest{databasePath, "", outputFolder, ""});
}

}  // namespace brevan
