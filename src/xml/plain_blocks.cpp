#include "xml/plain_blocks.h"

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BREVAN_X86 1
#endif

namespace brevan::xml {
namespace {

// Whole two-byte characters and nothing else above 0x7F, from the block's
// masks (one bit a byte): each lead followed by a continuation byte, each of
// those preceded by a lead, no lead in the last byte.
template <typename Mask>
bool WholeTwoByte(Mask high, Mask other, Mask lead, Mask continuation) {
    constexpr Mask kLast = Mask(1) << (sizeof(Mask) * 8 - 1);
    return high == other && (lead | continuation) == high && continuation == Mask(lead << 1) && (lead & kLast) == 0;
}

#ifdef BREVAN_X86
std::size_t Blocks16(const char* p, std::size_t n, std::size_t i, bool escapes) {
    const __m128i amp = _mm_set1_epi8('&'), lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>');
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const auto special =
            escapes ? static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_or_si128(
                          _mm_or_si128(_mm_cmpeq_epi8(x, amp), _mm_cmpeq_epi8(x, lt)), _mm_cmpeq_epi8(x, gt))))
                    : std::uint16_t{0};
        // As signed bytes, controls and bytes above 0x7F are both at most
        // 0x1F; continuation bytes are below -64, their leads C2..DF -62..-33.
        const auto other = static_cast<std::uint16_t>(~_mm_movemask_epi8(_mm_cmpgt_epi8(x, _mm_set1_epi8(0x1F))));
        if ((special | other) == 0) continue;
        if (special == 0) {
            const auto high = static_cast<std::uint16_t>(_mm_movemask_epi8(x));
            const auto continuation =
                static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(_mm_set1_epi8(-64), x)));
            const auto lead = static_cast<std::uint16_t>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-63)), _mm_cmpgt_epi8(_mm_set1_epi8(-32), x))));
            if (WholeTwoByte(high, other, lead, continuation)) continue;
        }
        return i + static_cast<std::size_t>(__builtin_ctz(special | other));
    }
    return i;
}

// The same, thirty-two bytes at a time, where the processor has AVX2.
__attribute__((target("avx2"))) std::size_t Blocks32(const char* p, std::size_t n, std::size_t i, bool escapes) {
    const __m256i amp = _mm256_set1_epi8('&'), lt = _mm256_set1_epi8('<'), gt = _mm256_set1_epi8('>');
    for (; i + 32 <= n; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        const auto special =
            escapes
                ? static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(
                      _mm256_or_si256(_mm256_cmpeq_epi8(x, amp), _mm256_cmpeq_epi8(x, lt)), _mm256_cmpeq_epi8(x, gt))))
                : std::uint32_t{0};
        const auto other =
            static_cast<std::uint32_t>(~_mm256_movemask_epi8(_mm256_cmpgt_epi8(x, _mm256_set1_epi8(0x1F))));
        if ((special | other) == 0) continue;
        if (special == 0) {
            const auto high = static_cast<std::uint32_t>(_mm256_movemask_epi8(x));
            const auto continuation =
                static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(_mm256_set1_epi8(-64), x)));
            const auto lead = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(
                _mm256_cmpgt_epi8(x, _mm256_set1_epi8(-63)), _mm256_cmpgt_epi8(_mm256_set1_epi8(-32), x))));
            if (WholeTwoByte(high, other, lead, continuation)) continue;
        }
        return i + static_cast<std::size_t>(__builtin_ctz(special | other));
    }
    return Blocks16(p, n, i, escapes);
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

std::size_t PlainBlocks(const char* p, std::size_t n, std::size_t i, bool escapes) {
#ifdef BREVAN_X86
    return HasAvx2() ? Blocks32(p, n, i, escapes) : Blocks16(p, n, i, escapes);
#else
    (void)p, (void)n, (void)escapes;
    return i;
#endif
}

}  // namespace brevan::xml
