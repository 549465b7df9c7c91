#pragma once
// UTF-8: writing code points, and reading text character by character.
#include <cstddef>
#include <string>
#include <string_view>

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

// Appends one code point as UTF-8. (Written into a buffer first: appending
// a pointer range of unknown length makes GCC 12 warn falsely, -Wrestrict.)
inline void AppendCodePoint(char32_t c, std::string& out) {
    char bytes[4];
    const char* end = PutCodePoint(c, bytes);
    out.append(bytes, static_cast<std::size_t>(end - bytes));
}

// The well-formed UTF-8 character at text[i]: its length in bytes (1 to 4)
// with its code point in `c`, or 0 when the bytes there are not UTF-8
// (a stray or missing continuation byte, an overlong form, a surrogate, a
// value beyond U+10FFFF).
std::size_t NextCodePoint(std::string_view text, std::size_t i, char32_t& c);

// True when `text` is well-formed UTF-8 throughout.
bool IsValidUtf8(std::string_view text);

// A byte that starts a character (not a continuation byte).
inline bool IsLeadByte(unsigned char c) { return (c & 0xC0) != 0x80; }

// UTF-16 code units of the character that starts with byte `lead`: two for
// a four-byte character, one for the rest (a lone surrogate kept as three
// bytes counts one, like any three-byte form).
inline std::size_t Utf16UnitsOfLead(unsigned char lead) { return lead >= 0xF0 ? 2 : 1; }

}  // namespace brevan
