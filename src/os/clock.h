#pragma once
// Today's date from the system clock (local time), behind a seam that tests
// can set.
#include <functional>

namespace brevan {

struct CivilDate {
    int year = 1899;
    int month = 12;
    int day = 30;
};

// Today's local date, read anew at every call.
CivilDate Today();

// Test seam: while set, Today() returns what this function returns. Pass an
// empty function to go back to the system clock.
void SetTodaySource(std::function<CivilDate()> source);

// Days since 1899-12-30, the zero of the database engine's dates.
double DaysSinceZeroDate(const CivilDate& date);

}  // namespace brevan
