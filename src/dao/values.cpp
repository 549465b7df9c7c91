// The standard conversion of a value to text (regional settings: short date
// "DD.MM.YYYY", long time "HH:MM:SS").
#include "dao/dao.h"

#include "base/digits.h"
#include "base/error.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <string>

namespace brevan::dao {
namespace {

constexpr long long kDay0From1970 = -25569;  // 1899-12-30

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
    const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{day + kDay0From1970}}};
    const int y = static_cast<int>(date.year());
    const int m = static_cast<int>(static_cast<unsigned>(date.month()));
    const int d = static_cast<int>(static_cast<unsigned>(date.day()));
    if (y < 1 || y > 9999) throw Error("Date value out of range (field " + std::string(fieldName) + ")");
    const int hh = static_cast<int>(seconds / 3600), mm = static_cast<int>(seconds / 60 % 60),
              ss = static_cast<int>(seconds % 60);
    // "DD.MM.YYYY", " " and "HH:MM:SS", written digit by digit: this runs
    // for every date read, and printf is slow at it.
    char text[19];
    char* w = text;
    if (day != 0) {
        w = WriteDigits(w, d, 2);
        *w++ = '.';
        w = WriteDigits(w, m, 2);
        *w++ = '.';
        w = WriteDigits(w, y, 4);
        if (seconds == 0) return std::string(text, w);
        *w++ = ' ';
    }
    w = WriteDigits(w, hh, 2);
    *w++ = ':';
    w = WriteDigits(w, mm, 2);
    *w++ = ':';
    w = WriteDigits(w, ss, 2);
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

}  // namespace

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

}  // namespace brevan::dao
