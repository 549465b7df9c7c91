#include "base/utf16.h"

#include "base/utf8.h"

#include <cstdint>
#include <cstring>

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
        // Most text is ASCII: four units at a time while all are below 0x80
        // (the check reads little-endian units).
        while (little && i + 4 <= units) {
            std::uint64_t four;
            std::memcpy(&four, bytes + 2 * i, 8);
            if (four & 0xFF80FF80FF80FF80ull) break;
            w[0] = static_cast<char>(four);
            w[1] = static_cast<char>(four >> 16);
            w[2] = static_cast<char>(four >> 32);
            w[3] = static_cast<char>(four >> 48);
            w += 4;
            i += 4;
        }
        if (i >= units) break;
        const char16_t u = unit(i++);
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
