#include "convert/channel_pass.h"

#include "convert/listing_database.h"
#include "convert/xmltv_elements.h"

#include <string>
#include <unordered_set>

namespace brevan {

void ChannelPass(dao::Recordset& recordset, xml::DOMDocument& document, xml::Node root) {
    // The set only makes "seen before?" cheap for large tables; the document
    // itself keeps the order of first appearance.
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
        if (known.insert(id).second) AppendChannel(document, root, id);
        recordset.MoveNext();
    }
}

}  // namespace brevan
