// The engine's value-to-text conversion (regional settings DD.MM.YYYY and
// HH:MM:SS), checked on the values Access stores.
#include "base/error.h"
#include "dao/dao.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using brevan::dao::CStr;
using brevan::dao::Date;
using brevan::dao::Variant;

namespace {

std::string Text(Variant::Value v) { return CStr(Variant(std::move(v)), "Feld"); }
std::string DateText(double days) { return Text(Date{days}); }

// The Access value of a date and time, built the way Access stores it.
double AccessDate(int daysFromZero, int h, int m, int s) {
    const double time = (h * 3600 + m * 60 + s) / 86400.0;
    return daysFromZero >= 0 ? daysFromZero + time : daysFromZero - time;
}

TEST(DaoCStr, DatesTimesAndTheZeroDate) {
    EXPECT_EQ(DateText(45000), "15.03.2023");  // midnight: the date alone
    EXPECT_EQ(DateText(AccessDate(45000, 20, 15, 0)), "15.03.2023 20:15:00");
    EXPECT_EQ(DateText(AccessDate(0, 6, 5, 9)), "06:05:09");  // a time alone lies on day 0
    EXPECT_EQ(DateText(0), "00:00:00");
    EXPECT_EQ(DateText(1), "31.12.1899");
    EXPECT_EQ(DateText(2), "01.01.1900");
    EXPECT_EQ(DateText(60), "28.02.1900");  // no 29 February 1900
    EXPECT_EQ(DateText(61), "01.03.1900");
    EXPECT_EQ(DateText(36585), "29.02.2000");
    EXPECT_EQ(DateText(2958465), "31.12.9999");
    EXPECT_EQ(DateText(AccessDate(2958465, 23, 59, 59)), "31.12.9999 23:59:59");
}

TEST(DaoCStr, DatesBeforeDayZeroSubtractTheTime) {
    EXPECT_EQ(DateText(-1), "29.12.1899");
    EXPECT_EQ(DateText(-1.25), "29.12.1899 06:00:00");
    EXPECT_EQ(DateText(-1.75), "29.12.1899 18:00:00");
    EXPECT_EQ(DateText(-0.5), "12:00:00");  // still day 0
    EXPECT_EQ(DateText(-36522), "01.01.1800");
    EXPECT_EQ(DateText(-657434), "01.01.0100");
    EXPECT_EQ(DateText(-693593), "01.01.0001");
}

TEST(DaoCStr, TimesRoundToWholeSecondsAndRollOverMidnight) {
    EXPECT_EQ(DateText(45000 + 0.4 / 86400), "15.03.2023");
    EXPECT_EQ(DateText(45000 + 1.6 / 86400), "15.03.2023 00:00:02");
    EXPECT_EQ(DateText(45000 + (86400 - 0.4) / 86400), "16.03.2023");  // 23:59:59.6
    EXPECT_EQ(DateText(45000 + (86400 - 0.6) / 86400), "15.03.2023 23:59:59");
    EXPECT_EQ(DateText((86400 - 0.2) / 86400), "31.12.1899");                   // day 0 rolls into day 1
    EXPECT_EQ(DateText(-1 - (86400 - 0.2) / 86400), "00:00:00");                // 29.12. 23:59:59.8 -> day 0
    EXPECT_EQ(DateText(AccessDate(44999, 23, 59, 59)), "14.03.2023 23:59:59");  // no error from the binary fraction
}

TEST(DaoCStr, DatesOutsideTheCalendarFailNamingTheField) {
    for (double bad : {1e9, -1e9, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       2958466.0, -693594.5}) {
        try {
            DateText(bad);
            ADD_FAILURE() << bad << " gave a text";
        } catch (const brevan::Error& e) {
            EXPECT_NE(std::string(e.what()).find("field Feld"), std::string::npos) << e.what();
        }
    }
}

TEST(DaoCStr, TextNumbersAndYesNo) {
    EXPECT_EQ(Text(std::string("  Tagesschau \n")), "  Tagesschau \n");  // unchanged, blanks and case kept
    EXPECT_EQ(Text(std::string()), "");
    EXPECT_EQ(Text(std::string("Ärger 😀")), "Ärger 😀");
    EXPECT_EQ(Text(std::int64_t{-42}), "-42");
    EXPECT_EQ(Text(std::int64_t{2147483647}), "2147483647");
    EXPECT_EQ(Text(2.5), "2.5");
    EXPECT_EQ(Text(0.1 + 0.2), "0.3");  // 15 significant digits, as Access shows doubles
    EXPECT_EQ(Text(-1234567.125), "-1234567.125");
    EXPECT_EQ(Text(1e20), "1e+20");
    EXPECT_EQ(Text(true), "True");
    EXPECT_EQ(Text(false), "False");
}

TEST(DaoCStr, NullFailsWithTheFieldsName) {
    try {
        CStr(Variant(), "Sendung");
        FAIL() << "Null gave a text";
    } catch (const brevan::Error& e) {
        EXPECT_EQ(e.Description(), "Invalid use of Null (field Sendung)");
    }
}

}  // namespace
