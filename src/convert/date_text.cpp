#include "convert/date_text.h"

#include <chrono>

namespace brevan {
namespace {

// Reads 1 to maxDigits digits at text[i]; advances i.
std::optional<int> Number(std::string_view text, std::size_t& i, std::size_t maxDigits) {
    std::size_t start = i;
    int value = 0;
    while (i < text.size() && i - start < maxDigits && text[i] >= '0' && text[i] <= '9')
        value = value * 10 + (text[i++] - '0');
    if (i == start) return std::nullopt;
    return value;
}

bool Expect(std::string_view text, std::size_t& i, char c) {
    if (i < text.size() && text[i] == c) {
        ++i;
        return true;
    }
    return false;
}

bool ValidDate(int y, int m, int d) {
    using namespace std::chrono;
    return y >= 1 && y <= 9999 &&
           year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}}.ok();
}

}  // namespace

std::optional<DateTimeParts> ParseDateTime(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    DateTimeParts parts;
    std::size_t i = 0;
    const std::size_t firstStop = text.find_first_of(".-:");
    if (firstStop == std::string_view::npos) return std::nullopt;
    if (text[firstStop] == '.') {
        auto d = Number(text, i, 2);
        if (!d || !Expect(text, i, '.')) return std::nullopt;
        auto m = Number(text, i, 2);
        if (!m || !Expect(text, i, '.')) return std::nullopt;
        auto y = Number(text, i, 4);
        if (!y) return std::nullopt;
        parts.day = *d, parts.month = *m, parts.year = *y;
        parts.hasDate = true;
    } else if (text[firstStop] == '-') {
        auto y = Number(text, i, 4);
        if (!y || !Expect(text, i, '-')) return std::nullopt;
        auto m = Number(text, i, 2);
        if (!m || !Expect(text, i, '-')) return std::nullopt;
        auto d = Number(text, i, 2);
        if (!d) return std::nullopt;
        parts.day = *d, parts.month = *m, parts.year = *y;
        parts.hasDate = true;
    }
    if (parts.hasDate) {
        if (!ValidDate(parts.year, parts.month, parts.day)) return std::nullopt;
        if (i == text.size()) return parts;
        if (!Expect(text, i, ' ')) return std::nullopt;
        while (i < text.size() && text[i] == ' ') ++i;
    }
    auto h = Number(text, i, 2);
    if (!h || !Expect(text, i, ':')) return std::nullopt;
    auto mi = Number(text, i, 2);
    if (!mi) return std::nullopt;
    int s = 0;
    if (Expect(text, i, ':')) {
        auto sec = Number(text, i, 2);
        if (!sec) return std::nullopt;
        s = *sec;
    }
    if (i != text.size() || *h > 23 || *mi > 59 || s > 59) return std::nullopt;
    parts.hour = *h, parts.minute = *mi, parts.second = s;
    parts.hasTime = true;
    return parts;
}

}  // namespace brevan
