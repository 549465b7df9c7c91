#pragma once
// Writing UTF-8, and the one 8-bit code page the program reads (Windows-1252:
// Jet 3 databases and INI files copied from Windows).
#include <cstddef>
#include <string>

namespace brevan {

// Writes one code point (up to U+10FFFF, surrogates included) as UTF-8 at w;
// returns the end. w needs room for four bytes.
inline char* PutCodePoint(char32_t c, char* w) {
    if (c < 0x80) {
        *w++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *w++ = static_cast<char>(0xC0 | (c >> 6));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *w++ = static_cast<char>(0xE0 | (c >> 12));
        *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *w++ = static_cast<char>(0xF0 | (c >> 18));
        *w++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return w;
}

// Appends one code point as UTF-8.
inline void AppendCodePoint(char32_t c, std::string& out) {
    char bytes[4];
    out.append(bytes, PutCodePoint(c, bytes));
}

// Appends Windows-1252 bytes as UTF-8. The five unassigned bytes map to the
// C1 controls of the same value, as Windows' own conversion does.
void AppendCp1252(const unsigned char* bytes, std::size_t size, std::string& out);

} // namespace brevan
