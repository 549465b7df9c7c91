#include "platform/mdb_text.h"

namespace brevan::dao::detail {

void AppendCodePoint(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendUtf16le(const unsigned char* bytes, std::size_t size, std::string& out) {
    const std::size_t units = size / 2;
    out.reserve(out.size() + units * 3 + 3);
    std::size_t i = 0;
    while (i < units) {
        char16_t u = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        ++i;
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        if (u >= 0xD800 && u <= 0xDBFF && i < units) {
            char16_t low = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ++i;
                AppendCodePoint(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(low) - 0xDC00), out);
                continue;
            }
        }
        AppendCodePoint(u, out);  // lone surrogates too, as their 3-byte form
    }
    if (size % 2 != 0) AppendCodePoint(0xFFFD, out);
}

void AppendJet4Text(const unsigned char* bytes, std::size_t size, std::string& out) {
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        AppendUtf16le(bytes, size, out);
        return;
    }
    std::size_t i = 2;
    out.reserve(out.size() + size);
    while (i < size) {
        // One-byte run: each byte is U+0000..U+00FF.
        while (i < size && bytes[i] != 0) {
            const unsigned char b = bytes[i++];
            if (b < 0x80) {
                out.push_back(static_cast<char>(b));
            } else {
                out.push_back(static_cast<char>(0xC0 | (b >> 6)));
                out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
            }
        }
        if (i >= size) break;
        ++i;  // switch to UTF-16LE
        std::size_t start = i;
        // A UTF-16 run ends at a 00 byte in the low position of a unit; the
        // format cannot store units whose low byte is 0, so this is exact.
        while (i + 1 < size && bytes[i] != 0) i += 2;
        if (i + 1 >= size && i < size && bytes[i] != 0) i = size;  // odd tail
        AppendUtf16le(bytes + start, i - start, out);
        if (i < size) ++i;  // switch back to one-byte mode
    }
}

namespace {
// Windows-1252 0x80..0x9F; unassigned bytes keep their C1 value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
} // namespace

void AppendCp1252(const unsigned char* bytes, std::size_t size, std::string& out) {
    out.reserve(out.size() + size);
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else if (b < 0xA0) {
            AppendCodePoint(kCp1252High[b - 0x80], out);
        } else {
            AppendCodePoint(b, out);
        }
    }
}

} // namespace brevan::dao::detail
