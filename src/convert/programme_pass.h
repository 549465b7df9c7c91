#pragma once
// The programme pass: the second walk over the listing rows.
#include "convert/conversion.h"
#include "dao/dao.h"
#include "xml/xml_dom.h"

namespace brevan {

// Walks the recordset from its current (first) row and appends to the root
// element one <programme> per pair of consecutive rows of one channel, dated
// on or after the window's first day, whose start times differ; the later
// row's start is the stop. Only a programme whose start date lies before the
// window's end is written, but every later row still serves as a stop and as
// the next "previous row", so the window changes which programmes are
// written and never what they hold. Raises brevan::Error for a Null where a
// text is needed and for a date or time text that cannot be read.
void ProgrammePass(dao::Recordset& recordset, xml::DOMDocument& document, const GuideWindow& window = {});

}  // namespace brevan
