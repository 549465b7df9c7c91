#include "xml/markup.h"

#include "xml/plain_blocks.h"
#include "xml/xml_text.h"

namespace brevan::xml {
namespace {

// The bytes that are escaped in text and in attribute values.
struct Specials {
    bool is[256] = {};
    constexpr explicit Specials(std::string_view bytes) {
        for (char c : bytes) is[static_cast<unsigned char>(c)] = true;
    }
};
constexpr Specials kTextSpecials("&<>");
constexpr Specials kAttributeSpecials("&<\"\t\n\r");

// Where the next byte of `specials` lies in `text` from `from`, or its size.
std::size_t FindSpecial(std::string_view text, std::size_t from, const Specials& specials) {
    std::size_t i = from;
    while (i < text.size() && !specials.is[static_cast<unsigned char>(text[i])]) ++i;
    return i;
}

// Appends `text` with its special bytes replaced by their escapes. Runs
// without any are copied whole: most text holds none.
template <typename Escape>
void AppendEscaped(std::string& out, std::string_view text, const Specials& specials, Escape escape) {
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = FindSpecial(text, from, specials);
        out.append(text.substr(from, at - from));
        if (at == text.size()) return;
        out.append(escape(text[at]));
        from = at + 1;
    }
}

const char* TextEscape(char c) {
    switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    default: return "&gt;";
    }
}

const char* AttributeEscape(char c) {
    switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '"': return "&quot;";
    case '\t': return "&#09;";
    case '\n': return "&#10;";
    default: return "&#13;";
    }
}

}  // namespace

void Markup::startTag(std::string_view name) {
    bytes_.push_back('<');
    bytes_.append(name);
}

void Markup::attribute(std::string_view name, std::string_view value) {
    bytes_.push_back(' ');
    bytes_.append(name);
    bytes_.append("=\"");
    AppendEscaped(bytes_, XmlSafeView(value, scratch_), kAttributeSpecials, AttributeEscape);
    bytes_.push_back('"');
}

void Markup::text(std::string_view text) {
    // One pass over text that needs no cleaning, which is nearly all: runs
    // of plain bytes are copied whole, & < > escaped on the way. At the
    // first byte that may need cleaning the rest goes the general way; the
    // bytes before it are whole characters, so that is where the general
    // way would be too.
    const char* p = text.data();
    const std::size_t n = text.size();
    std::size_t run = 0;  // start of the bytes not yet copied
    std::size_t i = 0;
    auto continuation = [&](std::size_t at) { return at < n && (static_cast<unsigned char>(p[at]) & 0xC0) == 0x80; };
    while (i < n) {
        if (n - i >= kPlainBlock) {  // short texts (layout, names) go byte by byte
            i = PlainBlocks(p, n, i, true);
            if (i >= n) break;
        }
        const auto c = static_cast<unsigned char>(p[i]);
        if (c == '&' || c == '<' || c == '>') {
            bytes_.append(p + run, i - run);
            bytes_.append(TextEscape(static_cast<char>(c)));
            run = ++i;
        } else if ((c >= 0x20 && c < 0x80) || c == '\t' || c == '\n' || c == '\r') {
            ++i;
        } else if (c >= 0xC2 && c <= 0xDF && continuation(i + 1)) {
            i += 2;
        } else if (((c >= 0xE1 && c <= 0xEC) || c == 0xEE) && continuation(i + 1) && continuation(i + 2)) {
            i += 3;  // no surrogate (ED), no U+FFFE or U+FFFF (EF), no overlong form (E0)
        } else {
            bytes_.append(p + run, i - run);
            AppendEscaped(bytes_, XmlSafeView(text.substr(i), scratch_), kTextSpecials, TextEscape);
            return;
        }
    }
    bytes_.append(p + run, n - run);
}

void Markup::endTag(std::string_view name) {
    bytes_.append("</");
    bytes_.append(name);
    bytes_.push_back('>');
}

}  // namespace brevan::xml
