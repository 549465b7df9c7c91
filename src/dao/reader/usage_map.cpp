#include "dao/reader/usage_map.h"

#include "dao/reader/damage.h"
#include "dao/reader/jet_page.h"
#include "dao/reader/mdb.h"

namespace brevan::dao::reader {
namespace {

constexpr unsigned char kInlineMap = 0;
constexpr unsigned char kPagedMap = 1;
constexpr std::size_t kInlineMapHeader = 5;  // type, start page
constexpr std::size_t kMapPageHeader = 4;    // a map page's type and three bytes before its bitmap
constexpr std::size_t kMapPageEntry = 4;

bool Marked(const unsigned char* bitmap, std::uint64_t bit) { return bitmap[bit / 8] & (1u << (bit % 8)); }

}  // namespace

UsageMap::UsageMap(const unsigned char* row, std::size_t size, PageSource& pages, std::string owner)
    : row_(row), size_(size), pages_(pages), owner_(std::move(owner)), mapPage_(pages.PageSize()) {}

std::uint32_t UsageMap::Checked(std::uint64_t page) const {
    if (page >= pages_.PageCount())
        throw Damage{"the page map of " + owner_ + " marks page " + std::to_string(page) +
                     ", beyond the end of the file (the file is cut short)"};
    return static_cast<std::uint32_t>(page);
}

bool UsageMap::LoadMapPage() {
    const std::uint32_t page = Get32(row_ + 1 + kMapPageEntry * entry_);
    if (page == 0) return false;
    pages_.Read(page, mapPage_.data(), "the page map of " + owner_);
    if (mapPage_[0] != MDB_PAGE_MAP)
        throw Damage{"page " + std::to_string(page) + " of the page map of " + owner_ + " is no map page"};
    entryLoaded_ = true;
    return true;
}

std::optional<std::uint32_t> UsageMap::Next() {
    if (row_[0] == kInlineMap) {
        const std::uint64_t start = Get32(row_ + 1);
        const std::uint64_t bits = (size_ - kInlineMapHeader) * 8;
        while (bit_ < bits) {
            const std::uint64_t bit = bit_++;
            if (Marked(row_ + kInlineMapHeader, bit) && start + bit != 0) return Checked(start + bit);
        }
        return std::nullopt;
    }
    if (row_[0] == kPagedMap) {
        const std::uint64_t bits = (pages_.PageSize() - kMapPageHeader) * 8;
        const std::size_t entries = (size_ - 1) / kMapPageEntry;
        for (; entry_ < entries; ++entry_, bit_ = 0, entryLoaded_ = false) {
            if (!entryLoaded_ && !LoadMapPage()) continue;
            while (bit_ < bits) {
                const std::uint64_t bit = bit_++;
                const std::uint64_t page = entry_ * bits + bit;
                if (Marked(mapPage_.data() + kMapPageHeader, bit) && page != 0) return Checked(page);
            }
        }
        return std::nullopt;
    }
    // A map of unknown type: every page after the header.
    const std::uint64_t page = ++bit_;
    if (page >= pages_.PageCount()) return std::nullopt;
    return static_cast<std::uint32_t>(page);
}

}  // namespace brevan::dao::reader
