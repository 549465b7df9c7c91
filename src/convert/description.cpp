#include "convert/description.h"

#include "base/utf8.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace brevan {
namespace {

void TrimBlanks(std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    text.erase(0, first);
}

// How many of the eight bytes' high bits are set in `x`, which has no other
// bits: a multiply sums them into the top byte. (A popcount instruction is
// not in the baseline x86-64 the package is built for; the library call
// standing in for it cost more than the rest of the loop.)
std::size_t HighBits(std::uint64_t x) { return static_cast<std::size_t>(((x >> 7) * 0x0101010101010101ull) >> 56); }

}  // namespace

std::string CleanDescription(std::string text) {
    CleanDescriptionInPlace(text);
    return text;
}

void CleanDescriptionInPlace(std::string& text) {
    TrimBlanks(text);

    // Each "<br>" becomes one blank: the text only shrinks, so it is rewritten
    // in place.
    static constexpr std::string_view kBreak = "<br>";
    if (std::size_t at = text.find(kBreak); at != std::string::npos) {
        std::size_t to = at;
        std::size_t from = at;
        while (at != std::string::npos) {
            std::memmove(text.data() + to, text.data() + from, at - from);
            to += at - from;
            text[to++] = ' ';
            from = at + kBreak.size();
            at = text.find(kBreak, from);
        }
        std::memmove(text.data() + to, text.data() + from, text.size() - from);
        text.resize(to + text.size() - from);
    }

    // A UTF-16 text is never longer than its UTF-8 form, so shorter texts
    // cannot reach position 1500.
    constexpr std::size_t kFirstPosition = 1500;
    constexpr std::size_t kMaxLength = 2000;
    if (text.size() < kFirstPosition) return;

    std::size_t units = 0;                     // code units before byte i
    std::size_t cutAtMax = std::string::npos;  // byte offset that ends the first 2000 units
    std::size_t i = 0;
    // Up to position 1500 only the units are counted, eight bytes at a time:
    // one unit per byte that is not a continuation byte, one more for the
    // lead byte of a four-byte character. A character cut by a word's end is
    // counted whole where it starts; the loop below passes over the rest.
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    while (i + 8 <= text.size() && units + 16 < kFirstPosition) {  // a word adds at most 16 units
        std::uint64_t x;
        std::memcpy(&x, text.data() + i, 8);
        const std::uint64_t continuation = x & ~(x << 1) & kHigh;
        const std::uint64_t fourByteLead = x & (x << 1) & (x << 2) & (x << 3) & kHigh;
        units += 8 - HighBits(continuation) + HighBits(fourByteLead);
        i += 8;
    }
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!IsLeadByte(c)) continue;
        const std::size_t n = Utf16UnitsOfLead(c);
        if (cutAtMax == std::string::npos && units + n > kMaxLength) cutAtMax = i;
        if (c == '.' && units + 1 >= kFirstPosition) {
            if (units + 1 > kMaxLength) {
                text.erase(cutAtMax);
            } else {
                text.erase(i + 1);
            }
            TrimBlanks(text);
            return;
        }
        units += n;
    }
}

}  // namespace brevan
