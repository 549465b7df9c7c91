#pragma once
// The XMLTV time stamp of a broadcast, from the date and time texts that the
// value-to-text conversion writes.
#include <string>

namespace brevan {

// "yyyymmddhhmmss +0100" from a date text and a time text as the value-to-
// text conversion writes them ("DD.MM.YYYY", "HH:MM:SS", both together, a
// time alone for the zero date) or as text columns commonly hold them
// ("YYYY-MM-DD", "HH:MM"). With an empty time text the date text's own time
// of day counts (000000 when it has none); both empty give "". The offset is
// that of Central European time at that local date and time: "+0200" from the
// last Sunday of March 02:00 up to the last Sunday of October 03:00, "+0100"
// otherwise. A non-empty text that is no date or time raises brevan::Error.
std::string FormatXmltvTime(std::string dateText, std::string timeText);

}  // namespace brevan
