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
    AppendEscaped(bytes_, XmlSafeView(text, scratch_), kTextSpecials, TextEscape);
}

void Markup::endTag(std::string_view name) {
    bytes_.append("</");
    bytes_.append(name);
    bytes_.push_back('>');
}

}  // namespace brevan::xml
