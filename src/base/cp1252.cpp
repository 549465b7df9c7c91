#include "base/cp1252.h"

#include "base/utf8.h"

namespace brevan {
namespace {

// Windows-1252 0x80..0x9F; unassigned bytes keep their C1 value.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

void AppendCp1252(const unsigned char* bytes, std::size_t size, std::string& out) {
    out.reserve(out.size() + size);
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else if (b < 0xA0) {
            AppendCodePoint(kCp1252High[b - 0x80], out);
        } else {
            AppendCodePoint(b, out);  // 0xA0..0xFF equal their Latin-1 code points
        }
    }
}

}  // namespace brevan
