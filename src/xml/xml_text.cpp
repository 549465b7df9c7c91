#include "xml/xml_text.h"

#include "base/utf8.h"

#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

#ifdef __SSE2__
// Sixteen bytes at p: 0 when they are printable ASCII and whole two-byte
// characters (C2..DF and a continuation byte, the umlauts of German text),
// else a mask whose lowest bit is the first byte that is not printable
// ASCII: from there the bytes are looked at one by one.
unsigned CleanBlock(const char* p) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // As signed bytes: controls 0..0x1F, continuation bytes -128..-65, the
    // two-byte leads C2..DF -62..-33.
    const __m128i control = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-1)), _mm_cmplt_epi8(x, _mm_set1_epi8(0x20)));
    const auto controls = static_cast<unsigned>(_mm_movemask_epi8(control));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(x));
    if ((controls | high) == 0) return 0;
    const auto continuation = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(x, _mm_set1_epi8(-64))));
    const auto lead = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-63)), _mm_cmplt_epi8(x, _mm_set1_epi8(-32)))));
    // Each lead followed by a continuation byte, each of those preceded by
    // a lead, nothing else above 0x7F, no control, no lead in the last byte.
    if (controls == 0 && (lead | continuation) == high && continuation == ((lead << 1) & 0xFFFFu) &&
        (lead & 0x8000u) == 0)
        return 0;
    return controls | high;
}
#endif

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
#ifdef __SSE2__
        while (i + 16 <= n) {
            const unsigned other = CleanBlock(p + i);
            if (other != 0) {
                i += static_cast<std::size_t>(__builtin_ctz(other));
                break;
            }
            i += 16;
        }
        if (i >= n) break;
#endif
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
