// Little-endian byte helpers shared by the page builders.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace jet4::detail {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPageSize = 4096;

inline void Set16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Set32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void SetDouble(std::uint8_t* p, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

inline void Put8(Bytes& b, std::uint32_t v) { b.push_back(static_cast<std::uint8_t>(v)); }

inline void Put16(Bytes& b, std::uint32_t v) {
    b.resize(b.size() + 2);
    Set16(b.data() + b.size() - 2, v);
}

inline void Put32(Bytes& b, std::uint32_t v) {
    b.resize(b.size() + 4);
    Set32(b.data() + b.size() - 4, v);
}

inline void PutDouble(Bytes& b, double v) {
    b.resize(b.size() + 8);
    SetDouble(b.data() + b.size() - 8, v);
}

inline void PutZeros(Bytes& b, std::size_t n) { b.resize(b.size() + n, 0); }

// Plain UTF-16LE, as names are stored in the catalog and definitions.
inline void PutUtf16(Bytes& b, const std::u16string& s) {
    for (char16_t c : s) Put16(b, c);
}

// A page/row pointer.
constexpr std::uint32_t PageRow(std::uint32_t page, std::uint32_t row) { return page << 8 | row; }

}  // namespace jet4::detail
