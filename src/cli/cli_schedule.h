#pragma once
#include <optional>

#include "cli_support.h"
#include "core/schedule/schedule_settings.h"

namespace quarlink::cli {

// update --scheduled: the settings of schedule.conf, or the exit code when
// nothing is due (the scheduled time already ran). Records the run's start.
std::optional<int> takeScheduledRun(Context& context, ScheduleSettings& settings);

}  // namespace quarlink::cli
