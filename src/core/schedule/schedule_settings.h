#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sources/source_kind.h"
#include "core/env/clock.h"

namespace quarlink {

// The daily update's source in a schedule (schedule.conf names it).
using ScheduleSource = SourceKind;

// The scheduled daily update, kept in "schedule.conf" in the working folder
// beside Quarlink.conf (whose format stays as it is). The tray application
// and `quarlink-cli update --scheduled` read the same file, so the systemd
// service needs no arguments that change.
struct ScheduleSettings {
    bool enabled = false;  // the tray application's own schedule
    int hour = 17;
    int minute = 30;
    ScheduleSource source = ScheduleSource::InfoSeek;
    // The update's settings, as the dialog opens.
    bool margin = true;
    bool indexOnly = true;
    bool nikkei = false;
    bool topix = false;  // J-Quants only
    // When the last scheduled run started (Japan time), 0 before the first.
    std::int64_t lastRun = 0;  // YYYYMMDDHHMM
};

inline constexpr const char* kScheduleFileName = "schedule.conf";

// The schedule's times are Japan's, where the market's data are published,
// whatever the machine's zone: the tray reads Clock::japanNow() and the timer
// names the zone.
inline constexpr const char* kScheduleZone = "Asia/Tokyo";

// "HH:MM" (00:00 to 23:59); false for anything else.
bool parseTimeOfDay(std::string_view text, int& hour, int& minute);
std::string formatTimeOfDay(int hour, int minute);

// YYYYMMDDHHMM of a date and time.
std::int64_t minuteStamp(const LocalDateTime& at);

// key=value lines; '#' starts a comment. An unknown key of lower-case
// letters, digits and '_' is ignored (a newer version's file still loads).
// Any other line, or a known key with a bad value, is refused by itself: its
// setting keeps the value it had, and every other line still counts.
// `settings` gets what was read; false when a line was refused, with `error`
// naming the first few (number and text) and `refused` all their numbers.
bool parseSchedule(std::string_view text, ScheduleSettings& settings, std::string& error,
                   std::vector<int>* refused = nullptr);
std::string formatSchedule(const ScheduleSettings& settings);

struct LoadedSchedule {
    ScheduleSettings settings;
    // Empty when the file was read whole or is missing; else the message
    // that says which lines were ignored, or why the whole file was.
    std::string problem;
    // The file could not be read at all (its settings are the defaults): it
    // is left for the user to mend, never replaced.
    bool unreadable = false;
};
LoadedSchedule loadSchedule(const std::filesystem::path& workDir);

// Written through a temporary file and a rename: the old file or the new one.
bool saveSchedule(const std::filesystem::path& workDir, const ScheduleSettings& settings, std::string& error);

namespace schedule_text {
inline constexpr const char* kSection = "毎日の自動更新";
inline constexpr const char* kTimeLabel = "時刻";
inline constexpr const char* kSourceLabel = "取得先";
inline constexpr const char* kUnreadable = "を読めないため、毎日の自動更新は既定の設定（オフ）になります。\n";
inline constexpr const char* kLinesIgnored = "を読めないため、無視しました。ほかの設定はそのまま使います。\n";
inline constexpr const char* kSaveFailed = "毎日の自動更新の設定を保存できませんでした。\n";
inline constexpr const char* kTimerNotFollowed = "systemdのタイマーの時刻を変更できませんでした。\n";
}  // namespace schedule_text

}  // namespace quarlink
