#include "jet4/text_codec.h"

namespace jet4::detail {
namespace {

// A unit whose low byte is 0 would read as a mode switch in either mode.
bool Compressible(const std::u16string& text) {
    for (char16_t c : text)
        if ((c & 0xFF) == 0) return false;
    return true;
}

bool Narrow(char16_t c) { return c < 0x100; }

Bytes Compress(const std::u16string& text) {
    Bytes out{0xFF, 0xFE};
    bool oneByte = true;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (Narrow(c) && !oneByte) {
            // Going back to one-byte mode costs a switch byte (two if wide units follow).
            std::size_t run = 0;
            while (i + run < n && Narrow(text[i + run])) ++run;
            const std::size_t back = 1 + run + (i + run < n ? 1 : 0);
            if (back < 2 * run) {
                out.push_back(0);
                oneByte = true;
            }
        } else if (!Narrow(c) && oneByte) {
            out.push_back(0);
            oneByte = false;
        }
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        if (!oneByte) out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

}  // namespace

std::optional<Bytes> EncodeText(const std::u16string& text, bool allowCompression) {
    const bool startsWithMark = !text.empty() && text[0] == 0xFEFF;
    const bool compressible = Compressible(text);
    if (startsWithMark && !compressible) return std::nullopt;
    if (compressible && (allowCompression || startsWithMark)) {
        Bytes packed = Compress(text);
        if (startsWithMark || packed.size() < 2 * text.size()) return packed;
    }
    Bytes plain;
    plain.reserve(2 * text.size());
    PutUtf16(plain, text);
    return plain;
}

}  // namespace jet4::detail
