#pragma once
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "core/schedule/update_schedule.h"
#include "core/web/page_fetcher.h"

namespace quarlink {

// The market's business days over a span of dates, as the J-Quants calendar
// lists them; outside the span it knows nothing (the schedule then falls back
// on Monday to Friday).
class BusinessCalendar {
public:
    void set(std::int32_t from, std::int32_t to, std::set<std::int32_t> businessDays);
    bool covers(std::int32_t date) const { return from_ && date >= from_ && date <= to_; }
    std::optional<bool> isBusinessDay(std::int32_t date) const;
    // Valid while the calendar lives.
    BusinessDayLookup lookup() const;

private:
    std::int32_t from_ = 0, to_ = 0;
    std::set<std::int32_t> days_;
};

// Fetches the J-Quants calendar from `from` to `to` with the key and
// endpoints of the working folder, within the plan's window on `today`;
// false (and `error`, without the key) on any failure, and without a
// request when the window ends before today (Free).
bool fetchJQuantsCalendar(const std::filesystem::path& workDir, std::int32_t today, std::int32_t from, std::int32_t to,
                          const WebEnvironment& environment, BusinessCalendar& calendar, std::string& error);

}  // namespace quarlink
