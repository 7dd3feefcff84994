#include "core/schedule/update_schedule.h"

#include <chrono>
#include <cstdio>

#include "core/jobs/update_job.h"

namespace quarlink {

namespace {

// Long enough for the longest run of market holidays (New Year, Golden Week).
constexpr int kSearchDays = 21;

}  // namespace

ScheduleDecision decideSchedule(const ScheduleSettings& settings, const LocalDateTime& now,
                                const BusinessDayLookup& businessDay, bool blocked) {
    ScheduleDecision d;
    if (!settings.enabled) return d;
    const auto isBusiness = [&](std::int32_t date) {
        const std::optional<bool> known = businessDay ? businessDay(date) : std::nullopt;
        return known ? *known : isWeekday(date);
    };
    const std::int64_t nowStamp = minuteStamp(now);
    const std::int64_t timeOfDay = settings.hour * 100 + settings.minute;
    const std::int32_t today = now.yyyymmdd();
    for (int back = 0; back < kSearchDays; ++back) {
        const std::int32_t date = addDays(today, -back);
        const std::int64_t slot = static_cast<std::int64_t>(date) * 10000 + timeOfDay;
        if (slot > nowStamp || !isBusiness(date)) continue;
        if (settings.lastRun < slot) {
            d.action = blocked ? ScheduleDecision::Action::Wait : ScheduleDecision::Action::Run;
            d.slot = slot;
            return d;
        }
        break;
    }
    d.action = ScheduleDecision::Action::NotYet;
    for (int ahead = 0; ahead < kSearchDays; ++ahead) {
        const std::int32_t date = addDays(today, ahead);
        const std::int64_t slot = static_cast<std::int64_t>(date) * 10000 + timeOfDay;
        if (slot > nowStamp && isBusiness(date)) {
            d.next = slot;
            break;
        }
    }
    return d;
}

std::string formatStampText(std::int64_t stamp) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d", static_cast<int>(stamp / 100000000),
                  static_cast<int>(stamp / 1000000 % 100), static_cast<int>(stamp / 10000 % 100),
                  static_cast<int>(stamp / 100 % 100), static_cast<int>(stamp % 100));
    return text;
}

ScheduleNotice scheduleNotice(const JobOutcome& last, bool stoppedByUser) {
    using Reason = JobOutcome::StopReason;
    ScheduleNotice n;
    // The stop aborts the request in flight, which the step may report as a
    // lost connection; the user knows better.
    if (stoppedByUser && last.state != JobState::Finished)
        return {schedule_text::kTitleStopped, schedule_text::kCancelled};
    // The page job's own stop texts say what the notice says already.
    std::string message = last.message.value_or("");
    if (message == update_text::kDisconnected || message == update_text::kFormatChanged) message.clear();
    const auto withMessage = [&](std::string text) { return message.empty() ? text : text + "\n" + message; };
    if (last.state == JobState::Finished) {
        n.title = schedule_text::kTitleDone;
        n.body = schedule_text::kDone;
        // The page job's closing line points at a dialog button; the catch-up's counts are worth showing.
        if (last.status && *last.status != update_text::kFinished && *last.status != update_text::kFinishedSkip)
            n.body += "\n" + *last.status;
        n.body = withMessage(n.body);
        return n;
    }
    n.title = schedule_text::kTitleStopped;
    n.failed = true;
    switch (last.stopReason) {
    case Reason::Connection: n.body = withMessage(schedule_text::kConnection); break;
    case Reason::UnrecognisedPage: n.body = withMessage(schedule_text::kUnrecognised); break;
    case Reason::Failed: n.body = withMessage(schedule_text::kFailed); break;
    case Reason::None:
        n.body = last.state == JobState::Stopped ? schedule_text::kStoppedByUser : withMessage(schedule_text::kFailed);
        break;
    }
    return n;
}

}  // namespace quarlink
