#include "jet4/usage_map.h"

#include <array>
#include <map>

#include "jet4/jet4_writer.h"

namespace jet4::detail {
namespace {

constexpr std::uint32_t kInlineBits = (kMapRowSize - 5) * 8;    // 512
constexpr std::uint32_t kBitsPerMapPage = (kPageSize - 4) * 8;  // 32736
constexpr std::uint32_t kMapPageSlots = (kMapRowSize - 1) / 4;  // 17

}  // namespace

Bytes EmptyUsageMap() { return Bytes(kMapRowSize, 0); }

Bytes BuildUsageMap(const std::vector<std::uint32_t>& pages, PageFile& file) {
    Bytes row(kMapRowSize, 0);
    if (pages.empty()) return row;
    const std::uint32_t first = pages.front();
    if (pages.back() - first < kInlineBits) {
        row[0] = 0x00;
        Set32(&row[1], first);
        for (std::uint32_t p : pages) {
            const std::uint32_t bit = p - first;
            row[5 + bit / 8] = static_cast<std::uint8_t>(row[5 + bit / 8] | (1u << (bit % 8)));
        }
        return row;
    }
    // Type 1: slot k's bitmap page covers pages k * 32736 onwards.
    std::map<std::uint32_t, std::array<std::uint8_t, kPageSize>> bitmaps;
    for (std::uint32_t p : pages) {
        const std::uint32_t slot = p / kBitsPerMapPage;
        if (slot >= kMapPageSlots) throw WriteError("table too large for its usage map");
        auto [it, fresh] = bitmaps.try_emplace(slot);
        auto& bitmap = it->second;
        if (fresh) {
            bitmap.fill(0);
            bitmap[0] = 0x05;
            bitmap[1] = 0x01;
        }
        const std::uint32_t bit = p % kBitsPerMapPage;
        bitmap[4 + bit / 8] = static_cast<std::uint8_t>(bitmap[4 + bit / 8] | (1u << (bit % 8)));
    }
    row[0] = 0x01;
    for (const auto& [slot, bitmap] : bitmaps) {
        const std::uint32_t page = file.Allocate();
        file.Write(page, bitmap.data());
        Set32(&row[1 + 4 * slot], page);
    }
    return row;
}

}  // namespace jet4::detail
