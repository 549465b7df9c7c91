// Description cleaning: blanks, line-break tags and the cut between
// positions 1500 and 2000, counted in UTF-16 code units; and the same rules
// against a plain reference that cleans the text unit by unit, since the
// cleaning itself counts units in the UTF-8 bytes, eight at a time up to
// position 1500.
#include "convert/description.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using brevan::CleanDescription;

namespace {

// `length` characters of 'a' with a period at 1-based position `period`
// (0 for none) and blanks elsewhere kept out, so cuts are easy to see.
std::string WithPeriodAt(std::size_t length, std::size_t period) {
    std::string text(length, 'a');
    if (period) text[period - 1] = '.';
    return text;
}

// The reference works on characters, each with its UTF-16 unit count.
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

}  // namespace

TEST(CleanDescription, TrimsBlanksOnlyAndReplacesLowerCaseBreaks) {
    EXPECT_EQ(CleanDescription("  Krimi  "), "Krimi");
    EXPECT_EQ(CleanDescription("\tKrimi\r\n"), "\tKrimi\r\n");
    EXPECT_EQ(CleanDescription("Eins<br>Zwei<br><br>Drei"), "Eins Zwei  Drei");
    EXPECT_EQ(CleanDescription("Eins<BR>Zwei<Br>"), "Eins<BR>Zwei<Br>");
    // A trailing tag turns into a trailing blank, which stays on a short text.
    EXPECT_EQ(CleanDescription("Ende<br>"), "Ende ");
    EXPECT_EQ(CleanDescription("   "), "");
    EXPECT_EQ(CleanDescription(""), "");
}

TEST(CleanDescription, CutsAtTheFirstPeriodFromPosition1500) {
    EXPECT_EQ(CleanDescription(WithPeriodAt(1800, 1499)), WithPeriodAt(1800, 1499));
    EXPECT_EQ(CleanDescription(WithPeriodAt(1800, 1500)), WithPeriodAt(1500, 1500));
    EXPECT_EQ(CleanDescription(WithPeriodAt(1800, 1620)), WithPeriodAt(1620, 1620));
    EXPECT_EQ(CleanDescription(WithPeriodAt(2100, 2000)), WithPeriodAt(2000, 2000));
    EXPECT_EQ(CleanDescription(WithPeriodAt(2100, 2001)), std::string(2000, 'a'));
    EXPECT_EQ(CleanDescription(WithPeriodAt(2500, 2300)), std::string(2000, 'a'));
    // No period from 1500 on: whatever the length, nothing is cut.
    EXPECT_EQ(CleanDescription(WithPeriodAt(5000, 0)), std::string(5000, 'a'));
    EXPECT_EQ(CleanDescription(WithPeriodAt(5000, 10)), WithPeriodAt(5000, 10));
}

TEST(CleanDescription, TrimsAgainOnlyAfterACut) {
    std::string text(1600, 'a');
    text[1549] = ' ';
    text[1550] = '.';
    text += "  ";
    EXPECT_EQ(CleanDescription(text), text.substr(0, 1551));

    std::string cut(1998, 'a');
    cut += "   ";  // positions 1999-2001 are blanks
    cut += std::string(500, 'b') + ".";
    EXPECT_EQ(CleanDescription(cut), std::string(1998, 'a'));
}

TEST(CleanDescription, CountsPositionsInUtf16CodeUnits) {
    // "ä" is two bytes in UTF-8 but one code unit: the period at unit 1500
    // lies at byte 2999.
    std::string umlauts;
    for (int i = 0; i < 1499; ++i) umlauts += "\xC3\xA4";
    EXPECT_EQ(CleanDescription(umlauts + ".rest"), umlauts + ".");

    // An emoji is two code units: 749 of them fill positions 1 to 1498, so
    // a period right after them lies at 1499 and does not count; after 750
    // it lies at 1501 and does.
    std::string emoji;
    for (int i = 0; i < 749; ++i) emoji += "\xF0\x9F\x98\x80";
    EXPECT_EQ(CleanDescription(emoji + ".tail"), emoji + ".tail");
    emoji += "\xF0\x9F\x98\x80";
    EXPECT_EQ(CleanDescription(emoji + ".tail"), emoji + ".");
}

TEST(CleanDescription, NeverKeepsHalfACharacterAtTheCut) {
    // 1999 units, then an emoji at units 2000-2001: cutting after 2000 units
    // would split it, so the text ends after 1999.
    std::string text(1999, 'a');
    text += "\xF0\x9F\x98\x80";
    text += std::string(400, 'b') + ".";
    EXPECT_EQ(CleanDescription(text), std::string(1999, 'a'));
}

TEST(CleanDescriptionReference, MixedCharactersAroundTheCutPositions) {
    const std::vector<Char> alphabet = {
        {"a", 1},
        {"b", 1},
        {"r", 1},
        {" ", 1},
        {".", 1},
        {"<", 1},
        {">", 1},
        {"\xC3\xA4", 1},          // ä
        {"\xE2\x82\xAC", 1},      // €
        {"\xF0\x9F\x98\x80", 2},  // an emoji: two units
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
            if (pick < 1)
                chars.push_back({".", 1});
            else if (pick < 1 + wide * 5)
                chars.push_back(alphabet[7 + random() % 3]);
            else if (pick < 3 + wide * 5)
                chars.push_back(alphabet[random() % 7]);
            else
                chars.push_back({"e", 1});
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
