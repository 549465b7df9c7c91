// Text cleaning for XML against a plain reference that decodes the UTF-8
// character by character: the cleaning looks at sixteen bytes at a time, so
// forbidden bytes are placed at every offset of texts long and short.
#include "xml/xml_text.h"
#include "xml/xml_dom.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using brevan::xml::XmlSafeText;

namespace {

// Keeps the well-formed UTF-8 characters that XML 1.0 allows, drops every
// other byte on its own.
std::string Reference(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t n = c < 0x80                   ? 1
                        : (c >= 0xC2 && c <= 0xDF) ? 2
                        : (c >= 0xE0 && c <= 0xEF) ? 3
                        : (c >= 0xF0 && c <= 0xF4) ? 4
                                                   : 0;
        char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < n; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                n = 0;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        const bool shortest = n == 1 || (n == 2 && cp >= 0x80) || (n == 3 && cp >= 0x800) || (n == 4 && cp >= 0x10000);
        const bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                             (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
        if (n == 0 || !shortest || !allowed) {
            ++i;
            continue;
        }
        out.append(text, i, n);
        i += n;
    }
    return out;
}

}  // namespace

TEST(XmlSafeTextReference, ForbiddenBytesAtEveryOffset) {
    const std::string pieces[] = {"a",
                                  "Z",
                                  " ",
                                  "\t",
                                  "\n",
                                  "\r",
                                  "\xC3\xA4",
                                  "\xE2\x82\xAC",
                                  "\xF0\x9F\x98\x80",
                                  std::string(1, '\0'),
                                  "\x01",
                                  "\x1F",
                                  "\x7F",
                                  "\x80",
                                  "\xC3",
                                  "\xED\xA0\x80",
                                  "\xEF\xBF\xBE",
                                  "\xF4\x90\x80\x80",
                                  "\xC0\xAF",
                                  "\xFF"};
    std::mt19937 random(11);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const std::size_t length = random() % 70;
        const unsigned odd = random() % 10;  // how often a piece is not a plain letter
        while (text.size() < length) {
            if (random() % 10 < odd)
                text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
            else
                text += static_cast<char>('a' + random() % 26);
        }
        ASSERT_EQ(XmlSafeText(text), Reference(text)) << "round " << round;
    }
}
