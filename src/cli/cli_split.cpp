#include "cli_commands.h"
#include "core/jobs/year_split_job.h"

namespace quarlink::cli {
namespace {

int run(Context& context, bool yes) {
    context.prompter.assumeYes = yes;
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::Sepalater)) return kExitFailed;

    YearSplitJob job(context.app);
    return driveJob(job, context.prompter);
}

Runner declare(CLI::App& command) {
    auto yes = std::make_shared<bool>(false);
    command.add_flag("--yes", *yes, kYesDescription);
    return [yes](Context& context) { return run(context, *yes); };
}

}  // namespace

const Command kSplitCommand{
    "split",
    "save the price files split by year into sep/YYYY/NNNN",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] split [--yes]\n"
    "\n"
    "Writes the records of every <chart folder>/data/NNNN dated in year YYYY to\n"
    "sep/YYYY/NNNN in the working folder, replacing year files written before.\n"
    "The chart folder is only read.\n"
    "\n"
    "Asks first whether to go on.\n"
    "{options}\n"
    "\n"
    "Exit 1 when a price file cannot be read or a year file cannot be written.\n",
    declare,
};

}  // namespace quarlink::cli
