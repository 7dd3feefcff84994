#include "cli_commands.h"
#include "cli_network.h"
#include "core/jobs/margin_fill_job.h"
#include "core/jobs/web_session.h"

namespace quarlink::cli {
namespace {

struct Options {
    bool allCodes = false;
    std::optional<int> resume;
    std::optional<std::string> source;
};

int run(Context& context, const Options& options) {
    const auto& [allCodes, resume, source] = options;
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::SuppShin)) return kExitFailed;

    WebSession web(context.app, context.environment);
    MarginFillJob job(context.app, web.reader(), web.environment(), web.endpoints());
    job.open();
    if (source) job.settings.source = *sourceKindFromName(*source);
    job.onWait = [](const std::string& line) { printStatus(line); };
    job.settings.indexOnly = !allCodes;
    job.resumeFrom = resume;
    const int exit = driveJob(job, context.prompter, web);
    return reportResume(exit, job.currentCode());
}

void addOptions(CLI::App& command, Options& options) {
    command.add_flag("--all-codes", options.allCodes, "every code 1000..9999 (default: the codes of index.txt)");
    addResumeOption(command, options.resume);
    addChoice(command, "--source", options.source, {"yahoo", "jquants"},
              "yahoo (default: the margin tables) or jquants (J-Quants API v2, Standard plan and above; key as "
              "for update)")
        ->type_name("S");
}

}  // namespace

const Command kMarginFillCommand{
    "margin-fill",
    "fill past margin balances into the price files",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] margin-fill [--source yahoo|jquants] [--all-codes]\n"
    "                    [--resume-from CODE]\n"
    "\n"
    "For each code, reads six months of margin history, puts the balances on\n"
    "their dates in <chart folder>/data/NNNN, and fills records without balances\n"
    "with the last balances before them. Codes without a price file are passed over.\n"
    "\n"
    "Options:\n"
    "{options}\n"
    "\n"
    "Exit codes: 0 done, 1 refused, 2 connection lost, 3 unrecognised page.\n",
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
