#pragma once
// The channel pass: the first walk over the listing rows.
#include "dao/dao.h"
#include "xml/xml_dom.h"

namespace brevan {

// Walks the recordset to its end and appends one <channel> per channel id,
// in the order of first appearance. Ids are compared exactly (case and
// blanks count). A Null channel id raises brevan::Error.
void ChannelPass(dao::Recordset& recordset, xml::DOMDocument& document, xml::Node root);

}  // namespace brevan
