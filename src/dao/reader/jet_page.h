#pragma once
// Reading the little-endian numbers of a page, and the row-offset table that
// follows a data page's header (the same in Jet 3 and Jet 4).
#include <cstdint>

namespace brevan::dao::reader {

inline std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Get24(const unsigned char* p) { return p[0] | (p[1] << 8) | (std::uint32_t(p[2]) << 16); }
inline std::uint32_t Get32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

// A row offset: where the row starts on its page, in the low 13 bits.
constexpr unsigned kRowOffsetMask = 0x1FFF;

}  // namespace brevan::dao::reader
