#pragma once
// Finding runs of text that need neither cleaning (xml_text.h) nor, when
// asked, escaping (markup.h), sixteen bytes at a time: most text is ASCII
// with a few two-byte characters (the umlauts of German text).
#include <cstddef>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace brevan::xml {

// Where, from `i`, the first sixteen bytes of p[0, n) begin that are not all
// plain: printable ASCII (but & < > with `escapes`) and whole two-byte
// characters. In such a block, the first byte that is not printable ASCII
// (or is one of & < >); from there the caller looks at bytes one by one.
// Without SSE2, `i` itself.
inline std::size_t PlainBlocks(const char* p, std::size_t n, std::size_t i, bool escapes) {
#ifdef __SSE2__
    const __m128i amp = _mm_set1_epi8('&'), lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>');
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const auto special =
            escapes ? static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
                          _mm_or_si128(_mm_cmpeq_epi8(x, amp), _mm_cmpeq_epi8(x, lt)), _mm_cmpeq_epi8(x, gt))))
                    : 0u;
        // As signed bytes, controls and bytes above 0x7F are both at most 0x1F.
        const auto other = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(x, _mm_set1_epi8(0x1F)))) ^ 0xFFFFu;
        if ((special | other) == 0) continue;
        if (special == 0) {
            // Whole two-byte characters and nothing else? As signed bytes,
            // continuation bytes are below -64, their leads C2..DF -62..-33:
            // each lead followed by a continuation byte, each of those
            // preceded by a lead, no lead in the last byte, no control.
            const auto high = static_cast<unsigned>(_mm_movemask_epi8(x));
            const auto continuation = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(x, _mm_set1_epi8(-64))));
            const auto lead = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-63)), _mm_cmplt_epi8(x, _mm_set1_epi8(-32)))));
            if (high == other && (lead | continuation) == high && continuation == ((lead << 1) & 0xFFFFu) &&
                (lead & 0x8000u) == 0)
                continue;
        }
        return i + static_cast<std::size_t>(__builtin_ctz(special | other));
    }
#else
    (void)p, (void)n, (void)escapes;
#endif
    return i;
}

}  // namespace brevan::xml
