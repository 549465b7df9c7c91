#include "os/clock.h"

#include <chrono>
#include <ctime>

namespace brevan {
namespace {

std::function<CivilDate()>& Source() {
    static std::function<CivilDate()> source;
    return source;
}

}  // namespace

CivilDate Today() {
    if (Source()) return Source()();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return CivilDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

void SetTodaySource(std::function<CivilDate()> source) { Source() = std::move(source); }

double DaysSinceZeroDate(const CivilDate& date) {
    using namespace std::chrono;
    const sys_days day =
        year{date.year} / month{static_cast<unsigned>(date.month)} / std::chrono::day{static_cast<unsigned>(date.day)};
    const sys_days zero = year{1899} / December / std::chrono::day{30};
    return static_cast<double>((day - zero).count());
}

}  // namespace brevan
