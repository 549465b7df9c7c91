#include "xml/xml_text.h"

#include "base/utf8.h"
#include "xml/plain_blocks.h"

#include <cstdint>

namespace brevan::xml {
namespace {

bool IsCont(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the allowed UTF-8 character at text[i], or 0 when the bytes there
// are forbidden by XML 1.0 or are not UTF-8 (then one byte is dropped).
std::size_t AllowedCharLength(std::string_view text, std::size_t i) {
    char32_t c;
    const std::size_t length = NextCodePoint(text, i, c);
    if (length == 0) return 0;
    if (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) return 0;
    if (c == 0xFFFE || c == 0xFFFF) return 0;
    return length;
}

}  // namespace

// The text itself when it holds no character XML forbids, else the text
// without them, built in `scratch`. Most text is ASCII with a few two-byte
// characters (umlauts): sixteen bytes at a time while all are printable
// ASCII or whole two-byte characters, the rest by AllowedCharLength.
std::string_view XmlSafeView(std::string_view text, std::string& scratch) {
    const char* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (n - i >= kPlainBlock) {  // short texts (layout, names) go byte by byte
            i = PlainBlocks(p, n, i, false);
            if (i >= n) break;
        }
        const auto c = static_cast<unsigned char>(p[i]);
        if (c >= 0x20 && c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF && i + 1 < n && IsCont(static_cast<unsigned char>(p[i + 1]))) {
            i += 2;
            continue;
        }
        const std::size_t len = AllowedCharLength(text, i);
        if (len == 0) break;
        i += len;
    }
    if (i >= n) return text;
    scratch.assign(text.substr(0, i));
    while (i < n) {
        const std::size_t len = AllowedCharLength(text, i);
        if (len == 0) {
            ++i;
        } else {
            scratch.append(text.substr(i, len));
            i += len;
        }
    }
    return scratch;
}

std::string XmlSafeText(std::string_view text) {
    std::string scratch;
    return std::string(XmlSafeView(text, scratch));
}

}  // namespace brevan::xml
