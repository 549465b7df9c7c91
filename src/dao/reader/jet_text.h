#pragma once
// Decoding of text as Access stores it, to UTF-8. libmdb's own conversion
// turns each half of a surrogate pair into "?", so the reader decodes the
// stored bytes itself.

#include <cstddef>
#include <string>

namespace brevan::dao::reader {

// Appends UTF-16LE code units as UTF-8. A surrogate without its partner is
// kept as the three-byte sequence of its code unit (ED A0 80..ED BF BF); an
// odd last byte becomes U+FFFD.
void AppendUtf16le(const unsigned char* bytes, std::size_t size, std::string& out);

// Appends a Jet 4 Text or Memo value: "compressed" (FF FE, then runs of
// one-byte characters U+0000..U+00FF and of UTF-16LE units, each 00 byte
// switching between them) or plain UTF-16LE.
void AppendJet4Text(const unsigned char* bytes, std::size_t size, std::string& out);

}  // namespace brevan::dao::reader
