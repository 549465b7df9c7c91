#include "convert/xmltv_elements.h"

#include <string>

namespace brevan {
namespace {

void SetAttribute(xml::DOMDocument& document, xml::Node element, const char* name, std::string_view value) {
    xml::Attribute attribute = document.createAttribute(name);
    attribute.Value.assign(value);
    element.setAttributeNode(attribute);
}

}  // namespace

std::unique_ptr<xml::DOMDocument> NewXmlDocument() { return std::make_unique<xml::DOMDocument>(); }

void AppendLangElement(xml::DOMDocument& document, xml::Node parent, const char* tagName, std::string_view text) {
    xml::Node element = document.createElement(tagName);
    element.setText(text);
    SetAttribute(document, element, "lang", "de");
    parent.appendChild(element);
}

void AppendChannel(xml::DOMDocument& document, xml::Node root, std::string_view id) {
    xml::Node channel = document.createElement("channel");
    SetAttribute(document, channel, "id", id);

    xml::Node fragment = document.createDocumentFragment();
    fragment.appendChild(document.createTextNode(kIndent));
    AppendLangElement(document, fragment, "display-name", id);
    channel.appendChild(fragment);
    channel.appendChild(document.createTextNode(kIndent));

    root.appendChild(channel);
    root.appendChild(document.createTextNode(kIndent));
}

void AppendProgramme(xml::DOMDocument& document, xml::Node root, const ProgrammeTexts& programme) {
    xml::Node element = document.createElement("programme");
    SetAttribute(document, element, "start", programme.start);
    SetAttribute(document, element, "stop", programme.stop);
    SetAttribute(document, element, "channel", programme.channel);

    xml::Node fragment = document.createDocumentFragment();
    fragment.appendChild(document.createTextNode(kIndent));
    AppendLangElement(document, fragment, "title", programme.title);
    fragment.appendChild(document.createTextNode(kIndent));
    AppendLangElement(document, fragment, "desc", programme.description);
    fragment.appendChild(document.createTextNode(kIndent));
    AppendLangElement(document, fragment, "category", programme.category);
    element.appendChild(fragment);
    element.appendChild(document.createTextNode(kIndent));

    root.appendChild(element);
    root.appendChild(document.createTextNode(kIndent));
}

}  // namespace brevan
