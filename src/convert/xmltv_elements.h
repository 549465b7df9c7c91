#pragma once
// The elements of the XMLTV guide and the layout text between them.
#include "xml/xml_dom.h"

#include <memory>
#include <string_view>

namespace brevan {

// A new, empty document for the guide. The serializer adds no layout of its
// own: the indent nodes below are the file's only line breaks.
std::unique_ptr<xml::DOMDocument> NewXmlDocument();

// The layout text node: carriage return, line feed, tab. A fresh one is made
// for every place it is appended.
inline constexpr std::string_view kIndent = "\r\n\t";

// Appends to `parent` an element `tagName` with attribute "lang"="de" and
// `text` as its content (display-name, title, desc, category).
void AppendLangElement(xml::DOMDocument& document, xml::Node parent, const char* tagName, std::string_view text);

// Appends to the root <channel id="ID"> holding <display-name lang="de">ID,
// laid out with indent nodes, and an indent node after it.
void AppendChannel(xml::DOMDocument& document, xml::Node root, std::string_view id);

// One broadcast as the guide shows it.
struct ProgrammeTexts {
    std::string_view start, stop, channel;  // start and stop are XMLTV time stamps
    std::string_view title, description, category;
};

// Appends to the root <programme start stop channel> holding title, desc and
// category (each with lang="de", each written even when empty), laid out with
// indent nodes, and an indent node after it: the bytes AppendLangElement and
// indent nodes would give, built in `markup` (whose buffer serves the next
// programme again) rather than as a tree.
void AppendProgramme(xml::DOMDocument& document, xml::Markup& markup, const ProgrammeTexts& programme);

}  // namespace brevan
