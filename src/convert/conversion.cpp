#include "convert/xmltv_document.h"

#include "app/settings.h"
#include "convert/listing_database.h"
#include "convert/programme_list.h"
#include "base/error.h"
#include "desktop/message_box.h"

#include <new>
#include <string>
#include <unordered_set>
#include <vector>

namespace brevan {
namespace {

constexpr const char* kGeneratorName = "Kolvenar";
constexpr const char* kOutputFileName = "tvdata.xml";

// One element per channel id, in the order of first appearance. The ordered
// list is what the document follows; the set beside it only makes "seen
// before?" cheap for large tables.
void ChannelPass(dao::Recordset& recordset, xml::DOMDocument& document, xml::Node root) {
    std::vector<std::string> channelIds;
    std::unordered_set<std::string> known;
    std::string id;
    bool haveId = false;
    while (!recordset.Eof()) {
        // The rows come by channel: most ids equal the one before, which is known.
        const dao::Variant& value = recordset.Fields(kFieldChannel);
        const auto* text = std::get_if<std::string>(&value.value());
        if (haveId && text && *text == id) {
            recordset.MoveNext();
            continue;
        }
        id = FieldText(recordset, kFieldChannel);
        haveId = true;
        if (known.insert(id).second) {
            channelIds.push_back(id);

            xml::Node channel = document.createElement("channel");
            xml::Attribute idAttribute = document.createAttribute("id");
            idAttribute.Value = id;
            channel.setAttributeNode(idAttribute);

            xml::Node fragment = document.createDocumentFragment();
            fragment.appendChild(document.createTextNode(kIndent));
            AppendLangElement(document, fragment, "display-name", id);
            channel.appendChild(fragment);
            channel.appendChild(document.createTextNode(kIndent));

            root.appendChild(channel);
            root.appendChild(document.createTextNode(kIndent));
        }
        recordset.MoveNext();
    }
}

void Convert() {
    Listing listing = OpenListing(AppSettings.DatabasePath);
    if (listing.recordset->RecordCount() > 0) {
        const std::string outputPath = AppSettings.OutputFolder + "/" + kOutputFileName;
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
    }
    CloseListing(listing);
}

} // namespace

std::unique_ptr<xml::DOMDocument> NewXmlDocument() {
    auto document = std::make_unique<xml::DOMDocument>();
    document->async = false;
    document->validateOnParse = true;
    document->resolveExternals = true;
    document->preserveWhiteSpace = true;
    return document;
}

void AppendLangElement(xml::DOMDocument& document, xml::Node parent, const char* tagName, std::string_view text) {
    xml::Node element = document.createElement(tagName);
    element.setText(text);
    xml::Attribute lang = document.createAttribute("lang");
    lang.Value = "de";
    element.setAttributeNode(lang);
    parent.appendChild(element);
}

void CreateXmltvFile() {
    try {
        Convert();
    } catch (const Error& e) {
        MsgBox(e.Description());
    } catch (const std::bad_alloc&) {
        MsgBox("There is not enough memory to convert the listing database " + AppSettings.DatabasePath + ".");
    } catch (const std::exception& e) {
        MsgBox(e.what());
    }
}

} // namespace brevan
