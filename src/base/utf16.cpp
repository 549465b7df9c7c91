#include "base/utf16.h"

#include "base/utf8.h"

#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace brevan {

void AppendUtf16(const unsigned char* bytes, std::size_t size, ByteOrder order, LoneSurrogate lone, std::string& out) {
    const bool little = order == ByteOrder::LittleEndian;
    auto unit = [&](std::size_t i) -> char16_t {
        const unsigned char* p = bytes + 2 * i;
        return static_cast<char16_t>(little ? (p[0] | (p[1] << 8)) : ((p[0] << 8) | p[1]));
    };
    const std::size_t units = size / 2;
    const std::size_t old = out.size();
    out.resize(old + units * 3);  // the most UTF-8 that many units can need
    char* w = out.data() + old;
    std::size_t i = 0;
    while (i < units) {
        // Most text is ASCII: eight units at a time while all are below
        // 0x80 (the check reads little-endian units).
#ifdef __SSE2__
        while (little && i + 8 <= units) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
            const auto ascii = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(x, _mm_set1_epi16(-0x80)), _mm_setzero_si128())));
            // All eight written; as many taken as lead the block as ASCII
            // (two mask bits a unit), the rest is written again below.
            _mm_storel_epi64(reinterpret_cast<__m128i*>(w), _mm_packus_epi16(x, x));
            const std::size_t taken = ascii == 0xFFFF ? 8 : static_cast<std::size_t>(__builtin_ctz(~ascii)) / 2;
            w += taken;
            i += taken;
            if (taken < 8) break;
        }
#endif
        if (i >= units) break;
        const char16_t u = unit(i++);
        // ASCII and two-byte characters (umlauts) on the spot.
        if (u < 0x80) {
            *w++ = static_cast<char>(u);
            continue;
        }
        if (u < 0x800) {
            *w++ = static_cast<char>(0xC0 | (u >> 6));
            *w++ = static_cast<char>(0x80 | (u & 0x3F));
            continue;
        }
        if (u >= 0xD800 && u <= 0xDBFF && i < units) {
            const char16_t low = unit(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ++i;
                w = PutCodePoint(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(low) - 0xDC00), w);
                continue;
            }
        }
        const bool loneSurrogate = u >= 0xD800 && u <= 0xDFFF;
        w = PutCodePoint(loneSurrogate && lone == LoneSurrogate::Replace ? char32_t{0xFFFD} : char32_t{u}, w);
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
}

}  // namespace brevan
