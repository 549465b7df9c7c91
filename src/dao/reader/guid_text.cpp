#include "dao/reader/guid_text.h"

namespace brevan::dao::reader {

std::string GuidText(const unsigned char* stored) {
    // Stored byte index of each byte of the text, hyphens before 4, 6, 8, 10.
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        const unsigned char b = stored[kOrder[i]];
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
    }
    text += '}';
    return text;
}

}  // namespace brevan::dao::reader
