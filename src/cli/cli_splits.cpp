#include <cstdio>
#include <iostream>
#include <optional>

#include "cli_commands.h"
#include "core/jobs/split_scan_job.h"
#include "core/jobs/web_session.h"
#include "core/store/folder_layout.h"
#include "core/store/index_flags.h"
#include "core/store/number_text.h"
#include "core/web/jquants/jquants_json.h"

namespace quarlink::cli {
namespace {

struct Options {
    std::string source;
    std::optional<std::string> from;
    bool apply = false;
};

void printSplits(const char* title, const std::vector<CodeSplit>& splits, const SplitScanJob& job) {
    std::cout << title << " (" << splits.size() << ")\n";
    for (const CodeSplit& s : splits) {
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%g", s.split.ratio);
        std::cout << layout::codeName(s.code) << '\t' << job.nameOf(s.code) << '\t' << slashDate(s.split.date) << '\t'
                  << ratio << '\t' << composeFlags(false, false, false, {s.split}) << '\n';
    }
    std::cout.flush();
}

int run(Context& context, const Options& options) {
    SplitScanJob::Settings settings;
    // Anything but J-Quants is the job's to refuse, in its words.
    settings.source = sourceKindFromName(options.source).value_or(SourceKind::InfoSeek);
    if (options.from && !(settings.from = jquants::parseDate(*options.from)))
        return usageError("splits", "--from takes a date YYYYMMDD");
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::UpdateIndex)) return kExitFailed;
    // Taken before the scan, so that the write at its end is never refused.
    if (options.apply && context.takeWriterLock && !context.takeWriterLock()) return kExitFailed;

    WebSession web(context.app, context.environment);
    SplitScanJob job(context.app, web.reader(), web.endpoints(), web.environment());
    job.open();
    job.settings = settings;
    job.onWait = [](const std::string& line) { printStatus(line); };
    if (const int exit = driveJob(job, context.prompter, web); exit != kExitDone) return exit;
    printSplits("index.txtにない分割・併合", job.found(), job);
    if (!options.apply) return kExitDone;
    job.action = SplitScanJob::Action::Write;
    const int exit = driveJob(job, context.prompter);
    if (exit == kExitDone) printSplits("記録した分割・併合", job.written(), job);
    return exit;
}

void addOptions(CLI::App& command, Options& options) {
    command.add_option("--source", options.source, "jquants: the only source with adjustment factors")
        ->type_name("S")
        ->required();
    command.add_option("--from", options.from, "first day to look at (default: one year before today in Japan)")
        ->type_name("YYYYMMDD");
    command.add_flag("--apply", options.apply,
                     "record the splits found: tokens in index.txt, or in splits-pending.txt for codes index.txt "
                     "does not list");
}

}  // namespace

const Command kSplitsCommand{
    "splits",
    "find the stock splits of the price files' codes in J-Quants' adjustment factors",
    Writes::OnRequest,
    "Usage: quarlink-cli [--workdir DIR] splits --source jquants [--from YYYYMMDD] [--apply]\n"
    "\n"
    "For a chart folder filled before splits were recorded. The chart program\n"
    "keeps unadjusted prices and divides those before a split by the ratio of the\n"
    "split token S:YYYYMMDD:ratio in the code's index.txt flags. J-Quants API v2\n"
    "serves no list of splits, but a bar's AdjFactor on the ex-rights date: 0.5\n"
    "is a 1:2 split (ratio 2), 10 a 1:10 consolidation (ratio 0.1).\n"
    "\n"
    "Asks for the business days from --from through today, then the bars of the\n"
    "whole market: on Light and above from the monthly bulk files (a list, then a\n"
    "file a request), else and for the days no file holds a day a request (key as\n"
    "for the other J-Quants commands). Keeps the factors other than 1 of the codes\n"
    "that have a price file in <chart folder>/data. Prints the splits that\n"
    "index.txt does not hold yet, one line per split: code, name (when\n"
    "registered), date, ratio and token, separated by tabs. With --apply they\n"
    "are recorded and printed again: index.txt is replaced atomically; a split\n"
    "of a code index.txt does not list waits in splits-pending.txt in the\n"
    "working folder until index-update registers the code. A second --apply writes nothing.\n"
    "\n"
    "Options:\n"
    "{options}\n"
    "\n"
    "Only --apply takes the writer lock (see --wait).\n"
    "\n"
    "Exit codes: 0 done, 1 refused or failed, 2 connection lost (run again),\n"
    "3 unrecognised answer.\n",
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
