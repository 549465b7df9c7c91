// Shared pieces of the end-to-end tests: dates relative to today and the
// expected XMLTV bytes.
#pragma once

#include "convert/xmltv_time.h"
#include "support/run_brevan.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace e2e {

// "DD.MM.YYYY" of today + offset, as the value-to-text conversion writes it.
inline std::string DateText(int offset) {
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    local.tm_mday += offset;
    local.tm_hour = 12;
    std::mktime(&local);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
    return buffer;
}

inline std::string Stamp(int offset, const std::string& time) { return brevan::FormatXmltvTime(DateText(offset), time); }

inline std::string ChannelXml(const std::string& id) {
    return "\t<channel id=\"" + id + "\">\r\n\t<display-name lang=\"de\">" + id + "</display-name>\r\n\t</channel>\r\n";
}

inline std::string ProgrammeXml(const std::string& start, const std::string& stop, const std::string& channel,
                                const std::string& title, const std::string& desc, const std::string& category) {
    return "\t<programme start=\"" + start + "\" stop=\"" + stop + "\" channel=\"" + channel + "\">\r\n" +
           "\t<title lang=\"de\">" + title + "</title>\r\n" + "\t<desc lang=\"de\">" + desc + "</desc>\r\n" +
           "\t<category lang=\"de\">" + category + "</category>\r\n\t</programme>\r\n";
}

inline std::string GuideXml(const std::string& body) {
    return "<?xml version='1.0'?>\r\n<tv generator-info-name=\"Kolvenar\">\r\n" + body + "\t\r\n</tv>";
}

} // namespace e2e
