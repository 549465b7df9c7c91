#pragma once
// The XML document service: a small DOM over pugixml, shaped after the
// members the conversion calls (createElement, createAttribute,
// setAttributeNode, createTextNode, createDocumentFragment, appendChild,
// Text, save).
//
// Layout is the caller's: the serializer adds no indentation, so whitespace
// text nodes reach the file byte for byte. The file is UTF-8 without BOM;
// empty elements are written as start and end tag (<desc lang="de"></desc>),
// since some XMLTV importers choke on <desc/>.
//
// Every text and attribute value is cleaned as it enters the document: the
// characters XML 1.0 forbids (U+0000-U+0008, U+000B, U+000C, U+000E-U+001F,
// U+FFFE, U+FFFF, unpaired surrogates, bytes that are not UTF-8) are dropped,
// because written in any form they make the file unreadable to every reader.
#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace brevan::xml {

class DOMDocument;

// An attribute made by createAttribute; it joins an element through
// setAttributeNode.
struct Attribute {
    std::string name;
    std::string Value;
};

// A node of the document: element, text, processing instruction or fragment.
// A handle: copying it does not copy the node.
class Node {
public:
    Node() = default;

    // Appends `child` as the last child (a fragment's children move over in
    // order and the fragment is left empty). The child leaves where it was.
    void appendChild(Node child);
    // Adds the attribute after the existing ones (replaces one of that name).
    void setAttributeNode(const Attribute& attribute);
    // Replaces the element's children by one text node.
    void setText(std::string_view text);

    pugi::xml_node raw() const { return node_; }

private:
    friend class DOMDocument;
    explicit Node(pugi::xml_node node) : node_(node) {}
    pugi::xml_node node_;
};

class DOMDocument {
public:
    DOMDocument();
    DOMDocument(const DOMDocument&) = delete;
    DOMDocument& operator=(const DOMDocument&) = delete;

    // The document properties the conversion sets. pugixml never reformats
    // and never loads external entities, so they only record the caller's
    // wish; preserveWhiteSpace is what the serializer does anyway.
    bool async = true;
    bool validateOnParse = false;
    bool resolveExternals = false;
    bool preserveWhiteSpace = false;

    Node createProcessingInstruction(std::string_view target, std::string_view data);
    Node createElement(std::string_view tagName);
    Attribute createAttribute(std::string_view name);
    Node createTextNode(std::string_view data);
    Node createDocumentFragment();

    // Appends a top-level node (the declaration, the root element).
    void appendChild(Node child);

    // Writes the document to `path` atomically: a temporary file in the same
    // folder, flushed to disk, then renamed over `path`. On any failure the
    // temporary file is removed, an existing file at `path` is untouched and
    // brevan::Error describes what went wrong. After a good save, temporary
    // files that earlier saves of `path` left when they were killed (same
    // naming, regular, our user's, untouched for a minute) are removed.
    void save(const std::string& path) const;

    // The serialized document, as save writes it (for tests and tools).
    std::string xml() const;

private:
    Node adopt(pugi::xml_node node);
    void write(pugi::xml_writer& writer) const;

    pugi::xml_document doc_;
    // Nodes not yet appended anywhere live under this hidden element, which
    // serialization skips; appendChild moves them out.
    pugi::xml_node limbo_;
};

// Drops the characters XML 1.0 forbids (see above) from UTF-8 text. Text
// holding none of them comes back unchanged.
std::string XmlSafeText(std::string_view text);

} // namespace brevan::xml
