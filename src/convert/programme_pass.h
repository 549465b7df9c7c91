#pragma once
// The programme pass: the second walk over the listing rows.
#include "dao/dao.h"
#include "xml/xml_dom.h"

namespace brevan {

// Walks the recordset from its current (first) row and appends to the root
// element one <programme> per pair of consecutive rows of one channel, dated
// today or later, whose start times differ; the later row's start is the stop. Raises
// brevan::Error for a Null where a text is needed and for a date or time text
// that cannot be read.
void ProgrammePass(dao::Recordset& recordset, xml::DOMDocument& document);

}  // namespace brevan
