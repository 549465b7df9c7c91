// Description cleaning: blanks, line-break tags and the cut between
// positions 1500 and 2000, counted in UTF-16 code units.
#include "convert/description.h"

#include <gtest/gtest.h>

#include <string>

using brevan::CleanDescription;

namespace {

// `length` characters of 'a' with a period at 1-based position `period`
// (0 for none) and blanks elsewhere kept out, so cuts are easy to see.
std::string WithPeriodAt(std::size_t length, std::size_t period) {
    std::string text(length, 'a');
    if (period) text[period - 1] = '.';
    return text;
}

} // namespace

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
