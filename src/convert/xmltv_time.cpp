#include "convert/xmltv_time.h"

#include "base/digits.h"
#include "base/error.h"
#include "convert/date_text.h"

#include <chrono>
#include <cstring>

namespace brevan {
namespace {

DateTimeParts Read(const std::string& text) {
    std::optional<DateTimeParts> parts = ParseDateTime(text);
    if (!parts) throw Error("The listing database holds \"" + text + "\" where a date or a time is expected.");
    return *parts;
}

// Day of the month of the last Sunday of `month` in `year`.
int LastSunday(int y, unsigned m) {
    using namespace std::chrono;
    const sys_days last{year{y} / month{m} / std::chrono::last};
    const weekday wd{last};
    return static_cast<int>(static_cast<unsigned>(year_month_day{last}.day())) - static_cast<int>(wd.c_encoding());
}

// Central European time: summer time from the last Sunday of March 02:00 to
// the last Sunday of October 03:00 (local wall clock).
const char* CentralEuropeanOffset(const DateTimeParts& p) {
    if (p.month < 3 || p.month > 10) return "+0100";
    if (p.month > 3 && p.month < 10) return "+0200";
    const long minuteOfMonth = (p.day * 24L + p.hour) * 60 + p.minute;
    if (p.month == 3) return minuteOfMonth >= (LastSunday(p.year, 3) * 24L + 2) * 60 ? "+0200" : "+0100";
    return minuteOfMonth < (LastSunday(p.year, 10) * 24L + 3) * 60 ? "+0200" : "+0100";
}

std::string Stamp(const DateTimeParts& p) {
    char buffer[20];
    char* w = WriteDigits(buffer, p.year, 4);  // the parser reads at most four digits
    w = WriteDigits(w, p.month, 2);
    w = WriteDigits(w, p.day, 2);
    w = WriteDigits(w, p.hour, 2);
    w = WriteDigits(w, p.minute, 2);
    w = WriteDigits(w, p.second, 2);
    *w++ = ' ';
    std::memcpy(w, CentralEuropeanOffset(p), 5);
    return std::string(buffer, 20);
}

}  // namespace

std::string FormatXmltvTime(std::string dateText, std::string timeText) {
    if (!timeText.empty()) {
        DateTimeParts date = Read(dateText);
        const DateTimeParts time = Read(timeText);
        date.hour = time.hasTime ? time.hour : 0;
        date.minute = time.hasTime ? time.minute : 0;
        date.second = time.hasTime ? time.second : 0;
        return Stamp(date);
    }
    if (!dateText.empty()) return Stamp(Read(dateText));
    return {};
}

}  // namespace brevan
