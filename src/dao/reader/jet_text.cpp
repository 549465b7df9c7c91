#include "dao/reader/jet_text.h"

#include "base/utf16.h"
#include "base/utf8.h"

#include <cstdint>
#include <cstring>

namespace brevan::dao::reader {

void AppendUtf16le(const unsigned char* bytes, std::size_t size, std::string& out) {
    AppendUtf16(bytes, size, ByteOrder::LittleEndian, LoneSurrogate::Keep, out);
    if (size % 2 != 0) AppendCodePoint(0xFFFD, out);
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
            // Eight ASCII bytes at a time while none is 0 (the switch) or above 0x7F.
            // All eight are written, those before the first other one taken.
            while (i + 8 <= size) {
                std::uint64_t eight;
                std::memcpy(&eight, bytes + i, 8);
                constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
                // The lowest flagged byte is exact: a 0 or one above 0x7F.
                const std::uint64_t other = (eight & kHigh) | ((eight - kOnes) & ~eight & kHigh);
                std::memcpy(w, &eight, 8);
                const std::size_t taken = other == 0 ? 8 : static_cast<std::size_t>(__builtin_ctzll(other)) / 8;
                w += taken;
                i += taken;
                if (taken < 8) break;
            }
            if (i >= size || bytes[i] == 0) break;
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

}  // namespace brevan::dao::reader
