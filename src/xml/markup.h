#pragma once
// Sibling nodes serialized straight to bytes, exactly as the document's
// serializer writes the same nodes (xml_dom.h): no layout of its own, start
// and end tag for an empty element, text and attribute values cleaned of
// what XML 1.0 forbids (xml_text.h) and escaped as the XML library escapes
// them ("&amp;", "&lt;" and "&gt;" in text; "&amp;", "&lt;", "&quot;",
// "&#09;", "&#10;" and "&#13;" in attribute values). For elements built
// whole and appended to the root in one go, as a guide's thousands of
// programmes are, without a tree node for each.
#include <string>
#include <string_view>

namespace brevan::xml {

class Markup {
public:
    void clear() { bytes_.clear(); }
    // "<name"; attributes follow, then startTagEnd. Names are written as given.
    void startTag(std::string_view name);
    // ' name="value"'.
    void attribute(std::string_view name, std::string_view value);
    // ">".
    void startTagEnd() { bytes_.push_back('>'); }
    // A text node (nothing for empty text).
    void text(std::string_view text);
    // "</name>".
    void endTag(std::string_view name);

    std::string_view bytes() const { return bytes_; }

private:
    std::string bytes_;
    std::string scratch_;
};

}  // namespace brevan::xml
