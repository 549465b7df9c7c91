#pragma once
// The programme list: the second pass over the listing rows, the XMLTV time
// stamp and the cleaning of descriptions.
#include "dao/dao.h"
#include "xml/xml_dom.h"

#include <string>

namespace brevan {

// Walks the recordset from its current (first) row and appends one
// <programme> per pair of consecutive rows of one channel, dated today or
// later, whose start times differ; the later row's start is the stop.
void ProgrammePass(dao::Recordset& recordset, xml::DOMDocument& document, xml::Node root);

// "yyyymmddhhmmss +0100" from a date text and a time text as the value-to-
// text conversion writes them ("DD.MM.YYYY", "HH:MM:SS", both together, a
// time alone for the zero date) or as text columns commonly hold them
// ("YYYY-MM-DD", "HH:MM"). With an empty time text the date text's own time
// of day counts (000000 when it has none); both empty give "". The offset is
// that of Central European time at that local date and time: "+0200" from the
// last Sunday of March 02:00 up to the last Sunday of October 03:00, "+0100"
// otherwise. A non-empty text that is no date or time raises brevan::Error.
std::string FormatXmltvTime(std::string dateText, std::string timeText);

// Trims blanks, turns every "<br>" into a blank, and shortens a text that has
// a period at or after position 1500 (UTF-16 code units, from 1): up to and
// including that period when it lies at 2000 or before, else to its first
// 2000 code units (never half a character); then trims blanks again.
std::string CleanDescription(std::string text);
// The same on a text in place.
void CleanDescriptionInPlace(std::string& text);

} // namespace brevan
