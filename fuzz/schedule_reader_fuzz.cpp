// Reads arbitrary bytes as schedule.conf: a refused file leaves the defaults,
// and what an accepted one writes back loads as the same settings.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "schedule/schedule_settings.h"

using namespace quarlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ScheduleSettings s;
    std::string error;
    const bool ok = parseSchedule(std::string_view(reinterpret_cast<const char*>(data), size), s, error);
    if (!ok && formatSchedule(s) != formatSchedule(ScheduleSettings{})) std::abort();
    if (s.hour < 0 || s.hour > 23 || s.minute < 0 || s.minute > 59) std::abort();
    ScheduleSettings again;
    if (!parseSchedule(formatSchedule(s), again, error) || formatSchedule(again) != formatSchedule(s)) std::abort();
    return 0;
}
