// Deterministic German listing texts: channel ids, titles, genres, descriptions.
#pragma once

#include <cstdint>
#include <string>

namespace mdbwrite {

// splitmix64: the same seed gives the same numbers everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    // Uniform in [lo, hi].
    long Between(long lo, long hi);
    bool Chance(int percent) { return Between(1, 100) <= percent; }

private:
    std::uint64_t state_;
};

std::string ChannelId(long index);  // "ARD", "ZDF", ..., then "SENDER123"
std::string Title(Random& rng);
std::string Genre(Random& rng);
std::string OriginalTitle(Random& rng);
std::string Cast(Random& rng);
// About `chars` characters (never more), whole sentences ending in periods,
// some joined by "<br>"; "" for 0.
std::u16string Description(Random& rng, long chars);

}  // namespace mdbwrite
