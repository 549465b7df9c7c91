// The standard conversion of a value to text (regional settings: short date
// "DD.MM.YYYY", long time "HH:MM:SS").
#include "platform/dao.h"

#include "platform/error.h"

#include <charconv>
#include <cmath>
#include <string>

namespace brevan::dao {
namespace {

// Civil date of a day number counted from 1970-01-01 (proleptic Gregorian).
void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

constexpr long long kDay0From1970 = -25569;  // 1899-12-30

// `count` decimal digits of 0 <= value < 10^count at w; returns the end.
char* Digits(char* w, int value, int count) {
    for (int i = count - 1; i >= 0; --i, value /= 10) w[i] = static_cast<char>('0' + value % 10);
    return w + count;
}

// Access's own range is the years 100 to 9999; older values are kept too.
std::string DateText(double value, std::string_view fieldName) {
    if (!std::isfinite(value) || std::fabs(value) > 1e7)
        throw Error("Date value out of range (field " + std::string(fieldName) + ")");
    // Before day 0 the time is subtracted from the negative day.
    double whole = std::trunc(value);
    long long day = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(value - whole) * 86400.0);
    if (seconds >= 86400) {  // 23:59:59.5 and later: the next day's midnight
        seconds -= 86400;
        ++day;
    }
    int y, m, d;
    CivilFromDays(day + kDay0From1970, y, m, d);
    if (y < 1 || y > 9999) throw Error("Date value out of range (field " + std::string(fieldName) + ")");
    const int hh = static_cast<int>(seconds / 3600), mm = static_cast<int>(seconds / 60 % 60), ss = static_cast<int>(seconds % 60);
    // "DD.MM.YYYY", " " and "HH:MM:SS", written digit by digit: this runs
    // for every date read, and printf is slow at it.
    char text[19];
    char* w = text;
    if (day != 0) {
        w = Digits(w, d, 2);
        *w++ = '.';
        w = Digits(w, m, 2);
        *w++ = '.';
        w = Digits(w, y, 4);
        if (seconds == 0) return std::string(text, w);
        *w++ = ' ';
    }
    w = Digits(w, hh, 2);
    *w++ = ':';
    w = Digits(w, mm, 2);
    *w++ = ':';
    w = Digits(w, ss, 2);
    return std::string(text, w);
}

std::string FloatingText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    // 15 significant digits, as Access shows doubles; to_chars ignores the locale.
    char text[40];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15).ptr;
    return std::string(text, end);
}

} // namespace

std::string CStr(const Variant& value, std::string_view fieldName) {
    struct Visitor {
        std::string_view field;
        std::string operator()(std::monostate) const {
            throw Error("Invalid use of Null (field " + std::string(field) + ")");
        }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(Date d) const { return DateText(d.days, field); }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const { return FloatingText(d); }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
    };
    return std::visit(Visitor{fieldName}, value.value());
}

} // namespace brevan::dao
