#pragma once
// Finding runs of text that need neither cleaning (xml_text.h) nor, when
// asked, escaping (markup.h), a block of bytes at a time: most text is ASCII
// with a few two-byte characters (the umlauts of German text).
#include <cstddef>

namespace brevan::xml {

// Where, from `i`, the first block of p[0, n) begins that is not all plain:
// printable ASCII (but & < > with `escapes`) and whole two-byte characters.
// In such a block, the first byte that is not printable ASCII (or is one of
// & < >); from there the caller looks at bytes one by one. The last bytes
// that fill no block are left to the caller too.
std::size_t PlainBlocks(const char* p, std::size_t n, std::size_t i, bool escapes);

// The smallest block: text shorter than this from `i` on is all left.
inline constexpr std::size_t kPlainBlock = 16;

}  // namespace brevan::xml
