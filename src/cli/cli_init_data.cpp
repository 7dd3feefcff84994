#include "cli_commands.h"
#include "cli_network.h"
#include "core/jobs/init_data_job.h"
#include "core/jobs/web_session.h"

namespace quarlink::cli {
namespace {

struct CreateOptions {
    std::optional<int> startYear;
    bool noMargin = false;
    bool nikkei = false;
    bool topix = false;
    std::optional<int> resume;
    std::optional<std::string> source;
    bool dryRun = false;
};

int runCreate(Context& context, const CreateOptions& options) {
    const auto& [startYear, noMargin, nikkei, topix, resume, source, dryRun] = options;
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::InitValueData)) return kExitFailed;

    WebSession web(context.app, context.environment);
    InitDataJob job(context.app, web.reader(), web.environment(), web.endpoints());
    job.open();
    if (source) job.settings.source = *sourceKindFromName(*source);
    job.onWait = [](const std::string& line) { printStatus(line); };
    if (startYear) job.settings.startYear = *startYear;
    job.settings.margin = !noMargin;
    job.settings.nikkei = nikkei;
    job.settings.topix = topix;
    job.settings.dryRun = dryRun;
    if (resume) job.setResumeCode(*resume);
    job.action = InitDataJob::Mode::Create;
    const int exit = driveJob(job, context.prompter, web);
    return reportResume(exit, job.resumeCode());
}

int runFiles(Context& context, bool transfer) {
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::InitValueData)) return kExitFailed;
    WebSession web(context.app, context.environment);
    InitDataJob job(context.app, web.reader(), web.environment());
    job.open();
    job.action = transfer ? InitDataJob::Mode::Transfer : InitDataJob::Mode::Delete;
    return driveJob(job, context.prompter, web);
}

void addCreateOptions(CLI::App& command, CreateOptions& options) {
    addYear(command, "--start-year", options.startYear, "first year of every history (default 1990)");
    command.add_flag("--no-margin", options.noMargin, "do not read the margin tables (default: read them)");
    command.add_flag("--nikkei", options.nikkei, "also write init/0101 (Nikkei average)");
    command.add_flag("--topix", options.topix, "also write init/0102 (TOPIX)");
    addResumeOption(command, options.resume, "start at CODE, as printed by a run that stopped\n(default 1000)");
    addChoice(command, "--source", options.source, {"yahoo", "jquants"},
              "yahoo (default: the price tables) or jquants")
        ->type_name("S");
    command.add_flag("--dry-run", options.dryRun,
                     "with jquants: say what the run will cost (files, requests, bytes, time at the plan's pace)\n"
                     "and write nothing");
}

Runner declareTransfer(CLI::App&) {
    return [](Context& context) { return runFiles(context, true); };
}
Runner declareDelete(CLI::App&) {
    return [](Context& context) { return runFiles(context, false); };
}

}  // namespace

const Command kInitCreateCommand{
    "init-create",
    "build initial price files in init/ from the price histories",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] init-create [--source yahoo|jquants]\n"
    "                    [--start-year YYYY] [--no-margin] [--nikkei] [--topix]\n"
    "                    [--resume-from CODE] [--dry-run]\n"
    "\n"
    "Reads the Nikkei average history (its dates are the trading calendar), then\n"
    "every code's history from the start year, and writes init/NNNN in the working\n"
    "folder: one record per trading day from the code's first trading day on.\n"
    "\n"
    "Options:\n"
    "{options}\n"
    "\n"
    "With --source jquants (J-Quants API v2, key as for update --source jquants):\n"
    "the codes of today's listed master, the business days of the J-Quants\n"
    "calendar, each code's daily bars from the start year (or the oldest day the\n"
    "plan serves) through today and its margin balances (Standard plan and above),\n"
    "taken from J-Quants' bulk files (Light and above: a file a month) or, on the\n"
    "free plan, a whole-market day a request, into the working folder's history/\n"
    "first (a stopped run goes on from the file it was in), then written code by\n"
    "code; --topix needs the Light plan; J-Quants has no Nikkei average.\n"
    "\n"
    "Exit codes: 0 done, 1 refused or failed, 2 connection lost, 3 unrecognised page.\n",
    declareCommand<CreateOptions, addCreateOptions, runCreate>,
};

const Command kInitTransferCommand{
    "init-transfer",
    "copy init/NNNN into the chart folder's data folder",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] init-transfer\n"
    "\n"
    "Copies every init/NNNN (codes 0000 to 10000) over <chart folder>/data/NNNN.\n",
    declareTransfer,
};

const Command kInitDeleteCommand{
    "init-delete",
    "delete the files in init/",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] init-delete\n"
    "\n"
    "Deletes every init/NNNN (codes 0000 to 10000) from the working folder.\n",
    declareDelete,
};

}  // namespace quarlink::cli
