#include "cli_commands.h"
#include "cli_network.h"
#include "jobs/update_job.h"
#include "jobs/web_session.h"

namespace quarlink::cli {
namespace {

struct Options {
    bool noMargin = false;
    bool allCodes = false;
    bool nikkei = false;
    std::optional<std::string> source;
    std::optional<int> resume;
};

int run(Context& context, const Options& options) {
    const auto& [noMargin, allCodes, nikkei, source, resume] = options;
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::Update)) return kExitFailed;

    WebSession web(context.app);
    UpdateJob job(context.app, web.reader(), web.clock());
    job.open();
    job.settings.margin = !noMargin;
    job.settings.indexOnly = !allCodes;
    job.settings.nikkei = nikkei;
    job.settings.source = source && *source == "yahoo" ? 1 : 0;
    job.resumeFrom = resume;
    const int exit = driveJob(job, context.prompter);
    return reportResume(exit, job.currentCode());
}

void addOptions(CLI::App& command, Options& options) {
    command.add_flag("--no-margin", options.noMargin);
    command.add_flag("--all-codes", options.allCodes);
    command.add_flag("--nikkei", options.nikkei);
    addChoice(command, "--source", options.source, {"infoseek", "yahoo"});
    addResumeOption(command, options.resume);
}

}  // namespace

const Command kUpdateCommand{
    "update",
    "daily update: the day's quote of every code into its price file",
    "Usage: quarlink-cli [--workdir DIR] update [--no-margin] [--all-codes] [--nikkei]\n"
    "                    [--source infoseek|yahoo] [--resume-from CODE]\n"
    "\n"
    "Reads the Nikkei average page for the market date (code 101), then each code's\n"
    "quote page, and stores the day's record in <chart folder>/data/NNNN: it\n"
    "replaces the last record of the same date, follows an earlier one, and is not\n"
    "written when the file already holds a later day.\n"
    "\n"
    "Options (defaults as the dialog opens):\n"
    "  --no-margin          do not fetch the margin balances (default: fetch them)\n"
    "  --all-codes          visit every code 1000..9999 (default: the codes of index.txt)\n"
    "  --nikkei             store the Nikkei average in data/0101 (default: off)\n"
    "  --source S           infoseek (default) or yahoo\n"
    "  --resume-from CODE   start at CODE, as printed by a run that stopped\n"
    "\n"
    "Exit codes: 0 done, 1 refused, 2 connection lost, 3 unrecognised page; on 2\n"
    "and 3 the last line names the code to resume from.\n",
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
