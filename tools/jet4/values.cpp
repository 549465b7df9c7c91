// Value helpers: UTF-8 to UTF-16 and calendar dates to Jet day numbers.
#include <cmath>

#include "jet4/jet4_writer.h"

namespace jet4 {
namespace {

// Days from 1970-01-01 to the given proleptic Gregorian date.
long DaysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

bool ValidDate(int y, int m, int d) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

const long kDayZero = DaysFromCivil(1899, 12, 30);

}  // namespace

std::u16string Utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        int extra;
        char32_t cp;
        if (b0 < 0x80) {
            extra = 0, cp = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1, cp = b0 & 0x1F;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, cp = b0 & 0x0F;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, cp = b0 & 0x07;
        } else {
            throw WriteError("malformed UTF-8 at byte " + std::to_string(i + 1));
        }
        if (utf8.size() - i <= static_cast<std::size_t>(extra))
            throw WriteError("truncated UTF-8 at byte " + std::to_string(i + 1));
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) throw WriteError("malformed UTF-8 at byte " + std::to_string(i + k + 1));
            cp = cp << 6 | (b & 0x3F);
        }
        static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            throw WriteError("malformed UTF-8 at byte " + std::to_string(i + 1));
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

Value Text(std::string_view utf8) { return Utf16(utf8); }

DateTime Date(int year, int month, int day) {
    if (!ValidDate(year, month, day))
        throw WriteError("invalid date " + std::to_string(year) + "-" + std::to_string(month) + "-" +
                         std::to_string(day));
    return DateTime{static_cast<double>(DaysFromCivil(year, month, day) - kDayZero)};
}

DateTime TimeOfDay(int hour, int minute, int second) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        throw WriteError("invalid time " + std::to_string(hour) + ":" + std::to_string(minute) + ":" +
                         std::to_string(second));
    return DateTime{(hour * 3600 + minute * 60 + second) / 86400.0};
}

DateTime DateAndTime(int year, int month, int day, int hour, int minute, int second) {
    const double days = Date(year, month, day).days;
    const double fraction = TimeOfDay(hour, minute, second).days;
    // Before day 0 Access counts the time of day away from zero.
    return DateTime{days < 0 ? days - fraction : days + fraction};
}

}  // namespace jet4
