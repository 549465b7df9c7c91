#pragma once
// UTF-16 text (Jet 4 databases, INI files saved as "Unicode") to UTF-8.
#include <cstddef>
#include <string>

namespace brevan {

enum class ByteOrder { LittleEndian, BigEndian };

// What becomes of a surrogate without its partner, which is no Unicode.
enum class LoneSurrogate {
    Keep,     // its three-byte form ED A0 80..ED BF BF (generalized UTF-8, "WTF-8")
    Replace,  // U+FFFD
};

// Appends the whole code units of `bytes` as UTF-8; an odd last byte is not
// read (the caller decides what it means).
void AppendUtf16(const unsigned char* bytes, std::size_t size, ByteOrder order, LoneSurrogate lone, std::string& out);

}  // namespace brevan
