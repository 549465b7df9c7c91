#include "convert/conversion.h"

#include "base/error.h"
#include "convert/channel_pass.h"
#include "convert/listing_database.h"
#include "convert/programme_pass.h"
#include "convert/xmltv_elements.h"

#include <memory>
#include <new>

namespace brevan {
namespace {

constexpr const char* kGeneratorName = "Kolvenar";

ConversionResult Convert(const std::string& databasePath, const std::string& outputFolder) {
    Listing listing = OpenListing(databasePath);
    if (listing.recordset->RecordCount() <= 0) {
        CloseListing(listing);
        return ConversionResult::ListingEmpty;
    }
    const std::string outputPath = outputFolder + "/" + kGuideFileName;
    std::unique_ptr<xml::DOMDocument> document = NewXmlDocument();
    // The guide goes to the file as it is built, and becomes tvdata.xml
    // only by the save at the end.
    document->spoolTo(outputPath);
    document->appendChild(document->createProcessingInstruction("xml", "version='1.0'"));

    xml::Node root = document->createElement("tv");
    xml::Attribute generator = document->createAttribute("generator-info-name");
    generator.Value = kGeneratorName;
    root.setAttributeNode(generator);
    document->appendChild(root);
    root.appendChild(document->createTextNode(kIndent));

    ChannelPass(*listing.recordset, *document, root);
    listing.recordset->MoveFirst();
    ProgrammePass(*listing.recordset, *document, root);

    root.appendChild(document->createTextNode("\r\n"));
    document->save(outputPath);
    CloseListing(listing);
    return ConversionResult::GuideWritten;
}

} // namespace

ConversionResult ConvertListing(const std::string& databasePath, const std::string& outputFolder) {
    try {
        return Convert(databasePath, outputFolder);
    } catch (const std::bad_alloc&) {
        throw Error("There is not enough memory to convert the listing database " + databasePath + ".");
    }
}

} // namespace brevan
