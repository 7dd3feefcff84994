#include "cli_commands.h"
#include "cli_network.h"
#include "jobs/init_data_job.h"
#include "jobs/web_session.h"

namespace quarlink::cli {
namespace {

int runCreate(Context& context, Args& args) {
    const auto startYear = args.value("--start-year");
    const bool noMargin = args.flag("--no-margin");
    const bool nikkei = args.flag("--nikkei");
    const bool topix = args.flag("--topix");
    bool badResume = false;
    const auto resume = resumeOption(args, badResume);
    if (args.missingValue()) return usageError("init-create", args.missingName() + " needs a value");
    if (badResume) return usageError("init-create", "--resume-from takes a code 0..9999");
    if (auto extra = args.leftover()) return usageError("init-create", "unexpected argument '" + *extra + "'");

    loadOptionsForCommand(context);
    if (!requireChartFolder(context)) return kExitFailed;

    WebSession web(context.app);
    InitDataJob job(context.app, web.reader(), web.clock());
    job.open();
    if (startYear) {
        const auto years = job.startYears();
        const auto year = parseNumber(*startYear);
        if (!year || *year < years.front() || *year > years.back())
            return usageError("init-create", "--start-year takes a year from 1990 to this year");
        job.settings.startYear = static_cast<int>(*year);
    }
    job.settings.margin = !noMargin;
    job.settings.nikkei = nikkei;
    job.settings.topix = topix;
    if (resume) job.setResumeCode(*resume);
    job.action = InitDataJob::Mode::Create;
    const int exit = driveJob(job, context.prompter);
    return reportResume(exit, job.resumeCode());
}

int runFiles(Context& context, Args& args, const char* name, bool transfer) {
    if (auto extra = args.leftover()) return usageError(name, "unexpected argument '" + *extra + "'");
    loadOptionsForCommand(context);
    if (!requireChartFolder(context)) return kExitFailed;
    WebSession web(context.app);
    InitDataJob job(context.app, web.reader(), web.clock());
    job.open();
    job.action = transfer ? InitDataJob::Mode::Transfer : InitDataJob::Mode::Delete;
    return driveJob(job, context.prompter);
}

int runTransfer(Context& context, Args& args) { return runFiles(context, args, "init-transfer", true); }
int runDelete(Context& context, Args& args) { return runFiles(context, args, "init-delete", false); }

}  // namespace

const Command kInitCreateCommand{
    "init-create",
    "build initial price files in init/ from the price histories",
    "Usage: quarlink-cli [--workdir DIR] init-create [--start-year YYYY] [--no-margin]\n"
    "                    [--nikkei] [--topix] [--resume-from CODE]\n"
    "\n"
    "Reads the Nikkei average history (its dates are the trading calendar), then\n"
    "every code's history from the start year, and writes init/NNNN in the working\n"
    "folder: one record per trading day from the code's first trading day on.\n"
    "\n"
    "Options:\n"
    "  --start-year YYYY    first year of every history (default 1990)\n"
    "  --no-margin          do not read the margin tables (default: read them)\n"
    "  --nikkei             also write init/0101 (Nikkei average)\n"
    "  --topix              also write init/0102 (TOPIX)\n"
    "  --resume-from CODE   start at CODE, as printed by a run that stopped (default 1000)\n"
    "\n"
    "Exit codes: 0 done, 1 refused or failed, 2 connection lost, 3 unrecognised page.\n",
    runCreate,
};

const Command kInitTransferCommand{
    "init-transfer",
    "copy init/NNNN into the chart folder's data folder",
    "Usage: quarlink-cli [--workdir DIR] init-transfer\n"
    "\n"
    "Copies every init/NNNN (codes 0000 to 10000) over <chart folder>/data/NNNN.\n",
    runTransfer,
};

const Command kInitDeleteCommand{
    "init-delete",
    "delete the files in init/",
    "Usage: quarlink-cli [--workdir DIR] init-delete\n"
    "\n"
    "Deletes every init/NNNN (codes 0000 to 10000) from the working folder.\n",
    runDelete,
};

}  // namespace quarlink::cli
