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
// The children of the root element (the first element appended to the
// document) are final once appended: they are serialized at once and let go,
// so that a large document is never held as a tree. Handles to them and to
// the nodes inside them must not be used afterwards; the nodes before the
// root and the root's name and attributes are fixed from its first child on.
// With spoolTo, those bytes go straight into the file that save completes.
//
// Every text and attribute value is cleaned as it enters the document: the
// characters XML 1.0 forbids are dropped (xml_text.h).
#include "xml/markup.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

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

private:
    friend class DOMDocument;
    struct Handle;  // the XML library's node, opaque here
    Node(Handle* node, DOMDocument* document) : node_(node), document_(document) {}
    Handle* node_ = nullptr;
    DOMDocument* document_ = nullptr;
};

class DOMDocument {
public:
    DOMDocument();
    ~DOMDocument();
    DOMDocument(const DOMDocument&) = delete;
    DOMDocument& operator=(const DOMDocument&) = delete;

    Node createProcessingInstruction(std::string_view target, std::string_view data);
    Node createElement(std::string_view tagName);
    Attribute createAttribute(std::string_view name);
    Node createTextNode(std::string_view data);
    Node createDocumentFragment();

    // Appends a top-level node (the declaration, the root element).
    void appendChild(Node child);
    // Appends the serialized nodes to the root element, as appendChild of
    // each would: written at once and final. Raises std::logic_error when
    // the document has no root element yet.
    void appendToRoot(const Markup& nodes);

    // Writes the document to `path` atomically: a temporary file in the same
    // folder, flushed to disk, then renamed over `path`. On any failure the
    // temporary file is removed, an existing file at `path` is untouched and
    // brevan::Error describes what went wrong. Before the temporary file is
    // made, those that earlier saves of `path` left when they were killed
    // (same naming, regular, our user's, untouched for a minute) are removed.
    // A regular file at `path` passes its owner and permission bits on
    // (replace_file.h).
    void save(const std::string& path);

    // Announces that the document will be saved to `path`: from here on the
    // root's children are written into save's temporary file beside `path` as
    // they are appended, instead of being kept in memory. When that file
    // cannot be made, raises brevan::Error at once, with the message save
    // would give, so that nothing is built for a folder that takes no file.
    // A spooled document is meant to be saved once, to `path`. Messages name
    // the file `label` (e.g. "the guide file /srv/htpc/tvdata.xml"); without
    // one, "the file <path>".
    void spoolTo(const std::string& path, const std::string& label = "");
    // After spoolTo: the file that stood at `path` then (followed through a
    // link), as {device, inode}; nothing when there was none.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> spooledOver() const;

    // The serialized document, as save writes it (for tests and tools).
    std::string xml() const;

private:
    friend class Node;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brevan::xml
