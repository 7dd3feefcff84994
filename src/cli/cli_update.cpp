#include "cli_commands.h"
#include "cli_network.h"
#include "cli_schedule.h"
#include "core/jobs/daily_update.h"
#include "core/jobs/web_session.h"
#include "core/web/jquants/jquants_json.h"

namespace quarlink::cli {
namespace {

struct Options {
    bool noMargin = false;
    bool allCodes = false;
    bool nikkei = false;
    std::optional<std::string> source;
    std::optional<int> resume;
    bool topix = false;  // these three apply to --source jquants only
    std::optional<std::string> from;
    std::optional<std::string> through;
    bool scheduled = false;
};

int run(Context& context, const Options& options);

// The source and settings come from schedule.conf, so that the systemd
// service's command line never changes.
int runScheduled(Context& context, const Options& given) {
    if (given.noMargin || given.allCodes || given.nikkei || given.source || given.resume || given.topix ||
        given.from || given.through)
        return usageError("update", "--scheduled takes its settings from schedule.conf; give no other option");
    ScheduleSettings s;
    if (const std::optional<int> exit = takeScheduledRun(context, s)) return *exit;
    Options options;
    options.noMargin = !s.margin;
    options.allCodes = !s.indexOnly;
    options.nikkei = s.nikkei;
    options.source = sourceKindName(s.source);
    options.topix = kindFacts(s.source).hasTopix && s.topix;
    return run(context, options);
}

int run(Context& context, const Options& options) {
    if (options.scheduled) return runScheduled(context, options);
    const auto& [noMargin, allCodes, nikkei, source, resume, topix, from, through, scheduled] = options;
    DailyUpdateSettings settings;
    if (source) settings.source = *sourceKindFromName(*source);
    // A run by whole-market days continues from the data itself and takes a span of days.
    const SourceKindFacts& facts = kindFacts(settings.source);
    if (facts.wholeMarket && resume)
        return usageError("update", "--resume-from does not apply to --source jquants: a new run continues "
                                    "from the data itself");
    if ((topix && !facts.hasTopix) || (!facts.wholeMarket && (from || through)))
        return usageError("update", "--topix, --from and --through need --source jquants");
    settings.margin = !noMargin;
    settings.indexOnly = !allCodes;
    settings.nikkei = nikkei;
    settings.topix = topix;
    settings.from = from ? jquants::parseDate(*from) : 0;
    settings.through = through ? jquants::parseDate(*through) : 0;
    if ((from && !settings.from) || (through && !settings.through))
        return usageError("update", "--from and --through take a date YYYYMMDD");
    settings.resumeFrom = resume;
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::Update)) return kExitFailed;

    WebSession web(context.app, context.environment);
    const std::unique_ptr<Job> job = makeDailyUpdate(context.app, web, settings);
    job->onWait = [](const std::string& line) { printStatus(line); };
    const int exit = driveJob(*job, context.prompter, web);
    if (const std::optional<int> code = dailyUpdateResumeCode(*job)) return reportResume(exit, *code);
    return exit;
}

void addOptions(CLI::App& command, Options& options) {
    command.add_flag("--no-margin", options.noMargin, "do not fetch the margin balances (default: fetch them)");
    command.add_flag("--all-codes", options.allCodes, "every code 1000..9999 (default: the codes of index.txt)");
    command.add_flag("--nikkei", options.nikkei, "store the Nikkei average in data/0101 (default: off)");
    addChoice(command, "--source", options.source, {"infoseek", "yahoo", "jquants"},
              "infoseek (default), yahoo or jquants")
        ->type_name("S");
    addResumeOption(command, options.resume);
    command.add_flag("--topix", options.topix, "store TOPIX in data/0102 (Light plan and above)")->group("jquants");
    command.add_option("--from", options.from, "first day to take in (default: the newest day in the data)")
        ->type_name("YYYYMMDD")
        ->group("jquants");
    command.add_option("--through", options.through, "last day (default: today)")
        ->type_name("YYYYMMDD")
        ->group("jquants");
    command
        .add_flag("--scheduled", options.scheduled,
                  "the systemd service's command (see 'schedule --help'): the source and settings of "
                  "schedule.conf, and only when a scheduled time (Monday to Friday) has passed that no run has "
                  "taken yet; otherwise it says so, exit 0")
        ->group("scheduled");
}

}  // namespace

const Command kUpdateCommand{
    "update",
    "daily update: the day's quote of every code into its price file",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] update [--no-margin] [--all-codes] [--nikkei]\n"
    "                    [--source infoseek|yahoo] [--resume-from CODE]\n"
    "       quarlink-cli [--workdir DIR] update --source jquants [--no-margin] [--all-codes]\n"
    "                    [--topix] [--nikkei] [--from YYYYMMDD] [--through YYYYMMDD]\n"
    "       quarlink-cli [--workdir DIR] update --scheduled\n"
    "\n"
    "Reads the Nikkei average page for the market date (code 101), then each code's\n"
    "quote page, and stores the day's record in <chart folder>/data/NNNN: it\n"
    "replaces the last record of the same date, follows an earlier one, and is not\n"
    "written when the file already holds a later day.\n"
    "\n"
    "Options (defaults as the dialog opens):\n"
    "{options}\n"
    "\n"
    "With --source jquants, the catch-up over J-Quants API v2 (key in JQUANTS_API_KEY\n"
    "or the first line of jquants.key in the working folder, mode 600): every\n"
    "business day from the newest date in data/1000..9999 (taken in again) or\n"
    "--from, through today or --through, one request a day for the whole market;\n"
    "each day is flushed before the next is written, and a new run continues from\n"
    "the data.\n"
    "{options jquants}\n"
    "\n"
    "{options scheduled}\n"
    "\n"
    "Exit codes: 0 done, 1 refused, 2 connection lost, 3 unrecognised page; on 2\n"
    "and 3 the last line names the code to resume from (jquants: run again).\n",
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
