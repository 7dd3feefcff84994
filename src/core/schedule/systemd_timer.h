#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/schedule/schedule_settings.h"

namespace quarlink {

// Runs `systemctl --user ARGS...`, output (stdout and stderr) into `output`;
// returns its exit status, 127 when systemctl cannot be started.
using SystemctlRunner = std::function<int(const std::vector<std::string>& args, std::string& output)>;
SystemctlRunner runSystemctl();

inline constexpr const char* kTimerUnit = "quarlink-update.timer";
inline constexpr const char* kServiceUnit = "quarlink-update.service";
inline constexpr const char* kDropInName = "schedule.conf";

// $XDG_CONFIG_HOME/systemd/user, else ~/.config/systemd/user.
std::filesystem::path userUnitFolder();

// The timer's drop-in: Monday to Friday at the schedule's time.
std::string timerDropIn(const ScheduleSettings& settings);
// The service's drop-in for a working folder other than the default one.
std::string serviceDropIn(const std::filesystem::path& cli, const std::filesystem::path& workDir);

// `quarlink-cli schedule`: the timer's drop-in and systemctl, injected so
// that the steps are tested without a running systemd.
class SystemdSchedule {
public:
    SystemdSchedule(std::filesystem::path workDir, bool defaultWorkDir, std::filesystem::path unitFolder,
                    SystemctlRunner systemctl);

    struct Result {
        bool ok = true;
        std::string out;  // for standard output
        std::string err;  // for standard error
    };
    // Saves the time and source, writes the drop-ins, reloads and enables the
    // timer; when a step fails, the files are put back as they were.
    Result enable(const ScheduleSettings& settings, const std::filesystem::path& cli);
    // Stops and disables the timer and removes the drop-ins.
    Result disable();
    Result status(const ScheduleSettings& settings, const LocalDateTime& now);
    // The time changed elsewhere (the tray's options): an enabled timer's
    // drop-in follows it, so that the timer and the tray keep one time.
    Result followTime(const ScheduleSettings& settings);

    std::filesystem::path timerDropInPath() const;
    std::filesystem::path serviceDropInPath() const;

private:
    bool systemctl(const std::vector<std::string>& args, Result& result, const std::string& doByHand);
    // The quarlink-cli command that repeats this enable, for a failed one.
    std::string enableCommand(const ScheduleSettings& settings) const;

    std::filesystem::path workDir_;
    bool defaultWorkDir_;
    std::filesystem::path unitFolder_;
    SystemctlRunner systemctl_;
};

}  // namespace quarlink
