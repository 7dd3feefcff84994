#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/jobs/job_outcome.h"
#include "core/schedule/schedule_settings.h"
#include "core/env/clock.h"

namespace quarlink {

// Whether a date is a business day: true or false when a calendar knows it,
// nullopt to fall back on Monday to Friday.
using BusinessDayLookup = std::function<std::optional<bool>(std::int32_t yyyymmdd)>;

struct ScheduleDecision {
    enum class Action {
        Off,     // the schedule is off
        NotYet,  // nothing due; `next` is the next scheduled time
        Wait,    // due, but a dialog is open or another program holds the writer lock
        Run,     // due now: start the update
    };
    Action action = Action::Off;
    std::int64_t slot = 0;  // YYYYMMDDHHMM of the scheduled time that is due (Wait, Run)
    std::int64_t next = 0;  // YYYYMMDDHHMM of the next scheduled time (NotYet), 0 when none is near
};

// `now` is Japan time (Clock::japanNow()), as are the schedule's times.
// The scheduled time due at `now` is the latest business day's time at or
// before now; it runs unless the last run started at or after it. A time
// missed while the program or the machine was off is thus run at the next
// check, once, however many were missed (the J-Quants catch-up takes in
// every missed day; the pages only ever give the current day).
ScheduleDecision decideSchedule(const ScheduleSettings& settings, const LocalDateTime& now,
                                const BusinessDayLookup& businessDay, bool blocked);

// "YYYY/MM/DD HH:MM".
std::string formatStampText(std::int64_t stamp);

// What the desktop notification says at the end of a scheduled run.
struct ScheduleNotice {
    std::string title;
    std::string body;
    bool failed = false;
};
// `stoppedByUser`: the run was stopped from the tray, whatever its last step said.
ScheduleNotice scheduleNotice(const JobOutcome& last, bool stoppedByUser = false);

namespace schedule_text {
inline constexpr const char* kTitleDone = "Quarlink：毎日の自動更新";
inline constexpr const char* kTitleStopped = "Quarlink：毎日の自動更新が止まりました";
inline constexpr const char* kDone = "日々のデータ更新が終わりました。";
inline constexpr const char* kConnection =
    "接続が切断されたため、日々のデータ更新が途中で止まりました。\nクリックして更新ボタンを押すと続きから取得できます。";
inline constexpr const char* kUnrecognised =
    "データ取得先のページを読み取れなかったため、日々のデータ更新が止まりました。\n"
    "しばらくしてから日々のデータ更新を行ってください。";
inline constexpr const char* kFailed = "日々のデータ更新を実行できませんでした。";
inline constexpr const char* kStoppedByUser = "日々のデータ更新を中断しました。";
inline constexpr const char* kCancelled =
    "毎日の自動更新を中止しました。\n結果を表示して更新ボタンを押すと続きから取得できます。";
inline constexpr const char* kRunning = "毎日の自動更新：";
inline constexpr const char* kStopping = "毎日の自動更新：中止しています…";
inline constexpr const char* kWaiting = "毎日の自動更新：他の処理が終わるのを待っています。";
inline constexpr const char* kBusy = "毎日の自動更新を実行中です。終わるまでお待ちください。";
// update --scheduled.
inline constexpr const char* kAlreadyRun = "%sの毎日の自動更新は実行済みです。次の実行は%sです。";
inline constexpr const char* kScheduledRun = "毎日の自動更新（%sの分、取得先 %s）";
inline constexpr const char* kRunNotRecorded =
    "毎日の自動更新の実行をschedule.confに記録できません：%s\n同じ時刻の更新がもう一度実行されることがあります。";
}  // namespace schedule_text

}  // namespace quarlink
