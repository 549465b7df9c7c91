// Time stamps: the texts the value-to-text conversion writes, the forms text
// columns hold, Central European summer time, and texts that are no time.
#include "convert/xmltv_time.h"
#include "base/error.h"

#include <gtest/gtest.h>

using brevan::FormatXmltvTime;

TEST(FormatXmltvTime, ReadsDateAndTimeTexts) {
    EXPECT_EQ(FormatXmltvTime("06.12.2006", "20:15:00"), "20061206201500 +0100");
    EXPECT_EQ(FormatXmltvTime("06.12.2006", ""), "20061206000000 +0100");
    EXPECT_EQ(FormatXmltvTime("06.12.2006 20:15:00", ""), "20061206201500 +0100");
    // The date text's own time of day does not count when a time text is given.
    EXPECT_EQ(FormatXmltvTime("06.12.2006 08:00:00", "20:15:00"), "20061206201500 +0100");
    // A time alone stands on the zero date.
    EXPECT_EQ(FormatXmltvTime("20:15:00", ""), "18991230201500 +0100");
    EXPECT_EQ(FormatXmltvTime("", ""), "");
}

TEST(FormatXmltvTime, ReadsWhatTextColumnsHold) {
    EXPECT_EQ(FormatXmltvTime("2006-12-06", "20:15"), "20061206201500 +0100");
    EXPECT_EQ(FormatXmltvTime("2006-12-06 07:05", ""), "20061206070500 +0100");
    EXPECT_EQ(FormatXmltvTime("6.1.2007", "7:05:09"), "20070106070509 +0100");
    // A date given where the time belongs counts as midnight.
    EXPECT_EQ(FormatXmltvTime("06.12.2006", "07.12.2006"), "20061206000000 +0100");
}

TEST(FormatXmltvTime, CarriesSummerTimeFromMarchToOctober) {
    EXPECT_EQ(FormatXmltvTime("15.07.2026", "20:15:00"), "20260715201500 +0200");
    // 2026: summer time starts on 29 March at 02:00 and ends on 25 October at 03:00.
    EXPECT_EQ(FormatXmltvTime("29.03.2026", "01:59:59"), "20260329015959 +0100");
    EXPECT_EQ(FormatXmltvTime("29.03.2026", "03:00:00"), "20260329030000 +0200");
    EXPECT_EQ(FormatXmltvTime("28.03.2026", "12:00:00"), "20260328120000 +0100");
    EXPECT_EQ(FormatXmltvTime("25.10.2026", "02:59:59"), "20261025025959 +0200");
    EXPECT_EQ(FormatXmltvTime("25.10.2026", "03:00:00"), "20261025030000 +0100");
    EXPECT_EQ(FormatXmltvTime("31.10.2026", "12:00:00"), "20261031120000 +0100");
    EXPECT_EQ(FormatXmltvTime("01.04.2026", ""), "20260401000000 +0200");
}

TEST(FormatXmltvTime, RefusesTextsThatAreNoDateOrTime) {
    for (const char* bad :
         {"morgen", "32.01.2026", "29.02.2026", "12:60:00", "24:00:00", "2026-13-01", "06.12.2006 x"}) {
        try {
            FormatXmltvTime(bad, "");
            ADD_FAILURE() << bad << " was read";
        } catch (const brevan::Error& e) {
            EXPECT_NE(e.Description().find(bad), std::string::npos) << e.Description();
        }
    }
    EXPECT_THROW(FormatXmltvTime("06.12.2006", "spät"), brevan::Error);
    EXPECT_THROW(FormatXmltvTime("", "20:15:00"), brevan::Error);
}
