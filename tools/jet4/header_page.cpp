#include "jet4/header_page.h"

#include <algorithm>
#include <utility>

namespace jet4::detail {
namespace {

constexpr std::size_t kMaskedStart = 0x18;
constexpr std::size_t kMaskedLength = 128;

// The header block is masked with RC4 under a fixed key; applying the
// keystream twice gives the plain bytes back.
void Rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t length) {
    std::array<std::uint8_t, 256> s;
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[i % keyLength]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t a = 0, b = 0;
    for (std::size_t n = 0; n < length; ++n) {
        a = static_cast<std::uint8_t>(a + 1);
        b = static_cast<std::uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        data[n] ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
    }
}

}  // namespace

std::array<std::uint8_t, kPageSize> BuildHeaderPage() {
    std::array<std::uint8_t, kPageSize> page{};
    static const std::uint8_t kMagic[] = {0x00, 0x01, 0x00, 0x00};
    std::copy(std::begin(kMagic), std::end(kMagic), page.begin());
    static const char kId[] = "Standard Jet DB";  // with its NUL: 16 bytes
    std::copy(kId, kId + sizeof kId, page.begin() + 0x04);
    page[0x14] = 0x01;  // Jet 4

    static const std::uint8_t kPrefix[24] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                             0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
    std::copy(std::begin(kPrefix), std::end(kPrefix), page.begin() + 0x18);
    Set16(&page[0x3C], 1252);  // code page
    Set32(&page[0x3E], 0);     // database key 0: pages are not encrypted
    // Empty password: the mask made of the creation date's whole days.
    const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(kCreationDate));
    for (std::size_t i = 0; i < 40; i += 4) Set32(&page[0x42 + i], mask);
    Set16(&page[0x6E], 0x0409);  // sort order "General"
    SetDouble(&page[0x72], kCreationDate);

    static const std::uint8_t kKey[] = {0xC7, 0xDA, 0x39, 0x6B};
    Rc4(kKey, sizeof kKey, &page[kMaskedStart], kMaskedLength);

    static const std::uint8_t kTail[] = {0x54, 0x06, 0x00, 0x00, '4', '.', '0', 0x00};
    std::copy(std::begin(kTail), std::end(kTail), page.begin() + 0x98);
    return page;
}

}  // namespace jet4::detail
