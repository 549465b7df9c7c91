#pragma once
// The conversion run: reads the listing table and writes tvdata.xml into the
// output folder in one save at the end.
#include "xml/xml_dom.h"

#include <memory>
#include <string_view>

namespace brevan {

// Reads AppSettings.DatabasePath and AppSettings.OutputFolder. Never lets an
// error escape: any failure ends in one message box with its description,
// and an existing tvdata.xml stays as it was. An empty listing table writes
// no file.
void CreateXmltvFile();

// A new, empty document with async off, validation and external resolution
// on, and whitespace preserved, in that order.
std::unique_ptr<xml::DOMDocument> NewXmlDocument();

// The layout text node: carriage return, line feed, tab. A fresh one is made
// for every place it is appended.
inline constexpr std::string_view kIndent = "\r\n\t";

// Appends to `parent` an element `tagName` with attribute "lang"="de" and
// `text` as its content (display-name, title, desc, category).
void AppendLangElement(xml::DOMDocument& document, xml::Node parent, const char* tagName, std::string_view text);

} // namespace brevan
