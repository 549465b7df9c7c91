#include "xml/markup.h"

#include "xml/xml_text.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace brevan::xml {
namespace {

// The bytes that are escaped in text and in attribute values.
// Text ones are looked for sixteen bytes at a time: descriptions are long.
struct Specials {
    bool is[256] = {};
    bool text = false;
    constexpr Specials(std::string_view bytes, bool inText) : text(inText) {
        for (char c : bytes) is[static_cast<unsigned char>(c)] = true;
    }
};
constexpr Specials kTextSpecials("&<>", true);
constexpr Specials kAttributeSpecials("&<\"\t\n\r", false);

// Where the next byte of `specials` lies in `text` from `from`, or its size.
std::size_t FindSpecial(std::string_view text, std::size_t from, const Specials& specials) {
    const char* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = from;
#ifdef __SSE2__
    if (specials.text) {
        const __m128i amp = _mm_set1_epi8('&'), lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>');
        for (; i + 16 <= n; i += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i hit =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, amp), _mm_cmpeq_epi8(x, lt)), _mm_cmpeq_epi8(x, gt));
            if (const int mask = _mm_movemask_epi8(hit)) return i + static_cast<std::size_t>(__builtin_ctz(mask));
        }
    }
#endif
    while (i < n && !specials.is[static_cast<unsigned char>(p[i])]) ++i;
    return i;
}

#ifdef __SSE2__
// Where, from `i`, the first sixteen bytes begin that are not all plain:
// printable ASCII but & < >, and whole two-byte characters (the umlauts of
// German text). In such a block, at or before its first other byte.
std::size_t PlainBlocks(const char* p, std::size_t n, std::size_t i) {
    const __m128i amp = _mm_set1_epi8('&'), lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>');
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const auto special = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, amp), _mm_cmpeq_epi8(x, lt)), _mm_cmpeq_epi8(x, gt))));
        // As signed bytes, controls and bytes above 0x7F are both at most 0x1F.
        const auto other = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(x, _mm_set1_epi8(0x1F)))) ^ 0xFFFFu;
        if ((special | other) == 0) continue;
        if (special == 0) {
            // Only bytes above 0x7F: whole two-byte characters? As signed
            // bytes, continuation bytes are below -64, their leads C2..DF
            // -62..-33.
            const auto continuation = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(x, _mm_set1_epi8(-64))));
            const auto lead = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-63)), _mm_cmplt_epi8(x, _mm_set1_epi8(-32)))));
            const auto high = static_cast<unsigned>(_mm_movemask_epi8(x));
            if (high == other && (lead | continuation) == high && continuation == ((lead << 1) & 0xFFFFu) &&
                (lead & 0x8000u) == 0)
                continue;
        }
        return i + static_cast<std::size_t>(__builtin_ctz(special | other));
    }
    return i;
}
#endif

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
#ifdef __SSE2__
        i = PlainBlocks(p, n, i);
        if (i >= n) break;
#endif
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
