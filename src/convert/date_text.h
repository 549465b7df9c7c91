#pragma once
// Reading the date and time texts of a listing row.
#include <optional>
#include <string_view>

namespace brevan {

// A local date and time of day as a listing row's texts give them.
struct DateTimeParts {
    int year = 1899, month = 12, day = 30;  // a time alone lies on the zero date
    int hour = 0, minute = 0, second = 0;
    bool hasDate = false;
    bool hasTime = false;
};

// Reads "DD.MM.YYYY", "YYYY-MM-DD", "HH:MM:SS", "HH:MM", or a date, blanks and
// a time; blanks around the whole are ignored, one- and two-digit fields are
// taken. Nothing for any other text, an impossible date (31.02.) or time
// (24:00), or a year outside 1 to 9999.
std::optional<DateTimeParts> ParseDateTime(std::string_view text);

}  // namespace brevan
