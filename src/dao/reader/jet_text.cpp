#include "dao/reader/jet_text.h"

#include <cstdint>
#include <cstring>

namespace brevan::dao::reader {

namespace {

char16_t Unit(const unsigned char* p) { return static_cast<char16_t>(p[0] | (p[1] << 8)); }

} // namespace

void AppendUtf16le(const unsigned char* bytes, std::size_t size, std::string& out) {
    const std::size_t units = size / 2;
    const std::size_t old = out.size();
    out.resize(old + units * 3 + 3);  // the most UTF-8 that many units can need
    char* w = out.data() + old;
    std::size_t i = 0;
    while (i < units) {
        // Most text is ASCII: four units at a time while all are below 0x80.
        while (i + 4 <= units) {
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
        const char16_t u = Unit(bytes + 2 * i);
        ++i;
        if (u >= 0xD800 && u <= 0xDBFF && i < units) {
            const char16_t low = Unit(bytes + 2 * i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ++i;
                w = PutCodePoint(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(low) - 0xDC00), w);
                continue;
            }
        }
        w = PutCodePoint(u, w);  // lone surrogates too, as their 3-byte form
    }
    if (size % 2 != 0) w = PutCodePoint(0xFFFD, w);
    out.resize(static_cast<std::size_t>(w - out.data()));
}

void AppendJet4Text(const unsigned char* bytes, std::size_t size, std::string& out) {
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        AppendUtf16le(bytes, size, out);
        return;
    }
    std::size_t i = 2;
    while (i < size) {
        // One-byte run: each byte is U+0001..U+00FF.
        const std::size_t old = out.size();
        out.resize(old + 2 * (size - i));
        char* w = out.data() + old;
        while (i < size && bytes[i] != 0) {
            const unsigned char b = bytes[i++];
            if (b < 0x80) {
                *w++ = static_cast<char>(b);
            } else {
                *w++ = static_cast<char>(0xC0 | (b >> 6));
                *w++ = static_cast<char>(0x80 | (b & 0x3F));
            }
        }
        out.resize(static_cast<std::size_t>(w - out.data()));
        if (i >= size) break;
        ++i;  // switch to UTF-16LE
        const std::size_t start = i;
        // A UTF-16 run ends at a 00 byte in the low position of a unit; the
        // format cannot store units whose low byte is 0, so this is exact.
        while (i + 1 < size && bytes[i] != 0) i += 2;
        if (i + 1 >= size && i < size && bytes[i] != 0) i = size;  // odd tail
        AppendUtf16le(bytes + start, i - start, out);
        if (i < size) ++i;  // switch back to one-byte mode
    }
}

} // namespace brevan::dao::reader
