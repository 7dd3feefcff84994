#include "core/env/date.h"

#include <chrono>

namespace quarlink {

namespace {

std::chrono::year_month_day ymdOf(std::int32_t yyyymmdd) {
    using namespace std::chrono;
    return year{yyyymmdd / 10000} / month{static_cast<unsigned>(yyyymmdd / 100 % 100)} /
           day{static_cast<unsigned>(yyyymmdd % 100)};
}

std::int32_t numberOf(const std::chrono::year_month_day& ymd) {
    return static_cast<int>(ymd.year()) * 10000 + static_cast<int>(static_cast<unsigned>(ymd.month())) * 100 +
           static_cast<int>(static_cast<unsigned>(ymd.day()));
}

}  // namespace

bool validDate(int year, int month, int day) {
    // Checked before chrono holds them: it keeps a month or a day in a byte.
    if (year < -32767 || year > 32767 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    return std::chrono::year_month_day{std::chrono::year{year}, std::chrono::month(static_cast<unsigned>(month)),
                                       std::chrono::day(static_cast<unsigned>(day))}
        .ok();
}

bool validDate(std::int32_t yyyymmdd) { return validDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }

std::int32_t addDays(std::int32_t yyyymmdd, int days) {
    return numberOf(std::chrono::year_month_day{std::chrono::sys_days{ymdOf(yyyymmdd)} + std::chrono::days{days}});
}

std::int32_t lastOfMonth(std::int32_t yyyymmdd) {
    using namespace std::chrono;
    return numberOf(year_month_day{ymdOf(yyyymmdd).year() / ymdOf(yyyymmdd).month() / last});
}

bool isWeekday(std::int32_t yyyymmdd) {
    const std::chrono::weekday wd{std::chrono::sys_days{ymdOf(yyyymmdd)}};
    return wd != std::chrono::Saturday && wd != std::chrono::Sunday;
}

}  // namespace quarlink
