#include "cli_schedule.h"

#include <iostream>

#include "cli_commands.h"
#include "core/schedule/systemd_timer.h"
#include "core/schedule/update_schedule.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"

namespace quarlink::cli {

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string action;
    std::optional<std::string> time;
    std::optional<std::string> source;
};

LoadedSchedule loadOrTell(const Context& context) {
    LoadedSchedule loaded = loadSchedule(context.app.workDir);
    if (!loaded.problem.empty()) std::cerr << "quarlink-cli: " << loaded.problem << std::flush;
    return loaded;
}

int run(Context& context, const Options& options) {
    if (options.action != "enable" && (options.time || options.source))
        return usageError("schedule", "--time and --source go with enable");
    ScheduleSettings settings = loadOrTell(context).settings;
    if (options.time && !parseTimeOfDay(*options.time, settings.hour, settings.minute))
        return usageError("schedule", "--time takes HH:MM, 00:00 to 23:59");
    if (options.source) settings.source = *sourceKindFromName(*options.source);

    std::error_code ec;
    const bool defaultFolder = fs::absolute(defaultWorkDir(), ec) == context.app.workDir;
    SystemdSchedule systemd(context.app.workDir, defaultFolder, userUnitFolder(), runSystemctl());
    SystemdSchedule::Result result;
    if (options.action == "enable") {
        // The first time counts from now: a time already past today waits for the next business day.
        if (!settings.lastRun) settings.lastRun = minuteStamp(SystemClock().japanNow());
        result = systemd.enable(settings, fs::read_symlink("/proc/self/exe", ec));
    } else if (options.action == "disable") {
        result = systemd.disable();
    } else {
        result = systemd.status(settings, SystemClock().japanNow());
    }
    std::cout << result.out;
    std::cerr << result.err;
    return result.ok ? kExitDone : kExitFailed;
}

void addOptions(CLI::App& command, Options& options) {
    command.add_option("ACTION", options.action, "enable, disable or status")
        ->required()
        ->check(CLI::IsMember({"enable", "disable", "status"}));
    command.add_option("--time", options.time, "with enable: the time of day, Japan time (default 17:30)")
        ->type_name("HH:MM");
    addChoice(command, "--source", options.source, {"infoseek", "yahoo", "jquants"},
              "with enable: the daily update's source, infoseek (default), yahoo or jquants")
        ->type_name("S");
}

}  // namespace

std::optional<int> takeScheduledRun(Context& context, ScheduleSettings& settings) {
    const LoadedSchedule loaded = loadOrTell(context);
    settings = loaded.settings;
    ScheduleSettings due = settings;
    due.enabled = true;
    const LocalDateTime now = SystemClock().japanNow();
    const ScheduleDecision decision = decideSchedule(due, now, {}, false);
    if (decision.action != ScheduleDecision::Action::Run) {
        printStatus(fillIn(schedule_text::kAlreadyRun,
                           {formatStampText(settings.lastRun), formatStampText(decision.next)}));
        return kExitDone;
    }
    // Recorded first: a run that is killed is not repeated in a loop, and the
    // tray application does not start the same time's run meanwhile.
    settings.lastRun = minuteStamp(now);
    // A file that could not be read is left for the user to mend, not
    // replaced; one with ignored lines is written back with the rest.
    if (std::string error; !loaded.unreadable && !saveSchedule(context.app.workDir, settings, error))
        std::cerr << "quarlink-cli: " << fillIn(schedule_text::kRunNotRecorded, {error}) << '\n';
    printStatus(fillIn(schedule_text::kScheduledRun, {formatStampText(decision.slot), sourceKindName(settings.source)}));
    return std::nullopt;
}

const Command kScheduleCommand{
    "schedule",
    "the daily update by a systemd user timer, Monday to Friday",
    Writes::Never,
    "Usage: quarlink-cli [--workdir DIR] schedule enable [--time HH:MM] [--source infoseek|yahoo|jquants]\n"
    "       quarlink-cli [--workdir DIR] schedule disable|status\n"
    "\n"
    "Arguments and options:\n"
    "{options}\n"
    "\n"
    "enable saves the time (default 17:30, Japan time) and the source (default\n"
    "infoseek) in schedule.conf in the working folder, writes the drop-in\n"
    "~/.config/systemd/user/quarlink-update.timer.d/schedule.conf for that time,\n"
    "and runs 'systemctl --user daemon-reload' and 'systemctl --user enable --now\n"
    "quarlink-update.timer'. When a step fails, schedule.conf and the drop-ins are\n"
    "put back as they were. The timer (Monday to Friday, Persistent=true: a time\n"
    "missed while the machine was off runs at the next boot) starts\n"
    "quarlink-update.service, which runs 'quarlink-cli update --scheduled': the\n"
    "daily update with the source and settings of schedule.conf (keys source,\n"
    "margin, index_only, nikkei, topix), once per scheduled time. With --source\n"
    "jquants the catch-up takes in every business day missed.\n"
    "disable stops and disables the timer and removes the drop-ins.\n"
    "status shows the settings, the last and next run and the timer's state.\n"
    "A line of schedule.conf that cannot be read is named and ignored; the other\n"
    "settings still apply.\n"
    "\n"
    "The tray application's 毎日の自動更新 (設定 ⇒ Sorvantide関連オプション) uses\n"
    "the same time and source; a time run by one is not run again by the other.\n"
    "\n"
    "Exit codes: 0 done, 1 systemd is missing or systemctl failed (what to do\n"
    "is on standard error), 64 usage error.\n",
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
