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

void AppendProgramme(xml::DOMDocument& document, xml::Markup& markup, const ProgrammeTexts& programme) {
    markup.clear();
    markup.startTag("programme");
    markup.attribute("start", programme.start);
    markup.attribute("stop", programme.stop);
    markup.attribute("channel", programme.channel);
    markup.startTagEnd();
    auto langElement = [&markup](std::string_view tagName, std::string_view text) {
        markup.text(kIndent);
        markup.startTag(tagName);
        markup.attribute("lang", "de");
        markup.startTagEnd();
        markup.text(text);
        markup.endTag(tagName);
    };
    langElement("title", programme.title);
    langElement("desc", programme.description);
    langElement("category", programme.category);
    markup.text(kIndent);
    markup.endTag("programme");
    markup.text(kIndent);
    document.appendToRoot(markup);
}

}  // namespace brevan
