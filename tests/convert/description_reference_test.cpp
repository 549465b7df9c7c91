// Description cleaning against a plain reference: the text decoded into
// UTF-16 code units, cleaned unit by unit, encoded again. The cleaning itself
// counts units in the UTF-8 bytes, eight at a time up to position 1500; mixed
// one- to four-byte characters and periods placed around positions 1500 and
// 2000 must give the same text.
#include "convert/description.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using brevan::CleanDescription;

namespace {

struct Char {
    std::string bytes;  // one UTF-8 character
    std::size_t units;  // its UTF-16 code units
};

std::string Trim(const std::vector<Char>& chars, std::size_t& first, std::size_t& last) {
    first = 0;
    last = chars.size();
    while (first < last && chars[first].bytes == " ") ++first;
    while (last > first && chars[last - 1].bytes == " ") --last;
    std::string out;
    for (std::size_t i = first; i < last; ++i) out += chars[i].bytes;
    return out;
}

// The rules, followed literally on characters with their unit counts.
std::string Reference(std::vector<Char> chars) {
    std::size_t first, last;
    Trim(chars, first, last);
    chars = std::vector<Char>(chars.begin() + static_cast<long>(first), chars.begin() + static_cast<long>(last));
    std::vector<Char> replaced;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (i + 3 < chars.size() && chars[i].bytes == "<" && chars[i + 1].bytes == "b" && chars[i + 2].bytes == "r" &&
            chars[i + 3].bytes == ">") {
            replaced.push_back({" ", 1});
            i += 3;
        } else {
            replaced.push_back(chars[i]);
        }
    }
    std::size_t position = 1;  // of the character's first unit
    for (std::size_t i = 0; i < replaced.size(); position += replaced[i].units, ++i) {
        if (replaced[i].bytes != "." || position < 1500) continue;
        std::vector<Char> kept;
        if (position <= 2000) {
            kept.assign(replaced.begin(), replaced.begin() + static_cast<long>(i) + 1);
        } else {
            std::size_t units = 0;
            for (const Char& c : replaced) {
                if (units + c.units > 2000) break;
                kept.push_back(c);
                units += c.units;
            }
        }
        return Trim(kept, first, last);
    }
    std::string out;
    for (const Char& c : replaced) out += c.bytes;
    return out;
}

} // namespace

TEST(CleanDescriptionReference, MixedCharactersAroundTheCutPositions) {
    const std::vector<Char> alphabet = {
        {"a", 1}, {"b", 1}, {"r", 1}, {" ", 1}, {".", 1}, {"<", 1}, {">", 1}, {"\xC3\xA4", 1},   // ä
        {"\xE2\x82\xAC", 1},                                                                      // €
        {"\xF0\x9F\x98\x80", 2},                                                                  // an emoji: two units
    };
    std::mt19937 random(7);
    for (int round = 0; round < 1000; ++round) {
        // Mostly letters, with a mix chosen per round, so that periods and
        // wide characters fall on every side of the positions that count.
        const std::size_t length = 1400 + random() % 1300;
        const unsigned wide = random() % 4;
        std::vector<Char> chars;
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned pick = random() % 100;
            if (pick < 1) chars.push_back({".", 1});
            else if (pick < 1 + wide * 5) chars.push_back(alphabet[7 + random() % 3]);
            else if (pick < 3 + wide * 5) chars.push_back(alphabet[random() % 7]);
            else chars.push_back({"e", 1});
        }
        if (round % 3 == 0) {  // a period close to position 1500 or 2000
            const std::size_t at = (round % 2 ? 1490 : 1990) + random() % 20;
            std::size_t units = 0;
            for (Char& c : chars) {
                if (units + 1 >= at) {
                    c = {".", 1};
                    break;
                }
                units += c.units;
            }
        }
        std::string text;
        for (const Char& c : chars) text += c.bytes;
        ASSERT_EQ(CleanDescription(text), Reference(chars)) << "round " << round;
    }
}
