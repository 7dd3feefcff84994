#include "cli_commands.h"
#include "cli_network.h"
#include "cli_update_jquants.h"
#include "jobs/update_job.h"
#include "jobs/web_session.h"

namespace quarlink::cli {
namespace {

int run(Context& context, Args& args) {
    const bool noMargin = args.flag("--no-margin");
    const bool allCodes = args.flag("--all-codes");
    const bool nikkei = args.flag("--nikkei");
    const auto source = args.value("--source");
    bool badResume = false;
    const auto resume = resumeOption(args, badResume);
    if (args.missingValue()) return usageError("update", args.missingName() + " needs a value");
    if (badResume) return usageError("update", "--resume-from takes a code 0..9999");
    if (source && *source == "jquants")
        return runJQuantsUpdate(context, args, {noMargin, allCodes, nikkei, resume.has_value() || badResume});
    if (source && *source != "infoseek" && *source != "yahoo")
        return usageError("update", "--source takes infoseek, yahoo or jquants");
    if (auto extra = args.leftover()) return usageError("update", "unexpected argument '" + *extra + "'");

    loadOptionsForCommand(context);
    if (!requireChartFolder(context)) return kExitFailed;

    WebSession web(context.app);
    UpdateJob job(context.app, web.reader(), web.clock());
    job.open();
    job.settings.margin = !noMargin;
    job.settings.indexOnly = !allCodes;
    job.settings.nikkei = nikkei;
    job.settings.source = source && *source == "yahoo" ? 1 : 0;
    job.resumeFrom = resume;
    const int exit = driveJob([&] { return job.start(); }, [&] { return job.tick(); }, context.prompter);
    return reportResume(exit, job.currentCode());
}

}  // namespace

const Command kUpdateCommand{
    "update",
    "daily update: the day's quote of every code into its price file",
    "Usage: quarlink-cli [--workdir DIR] update [--no-margin] [--all-codes] [--nikkei]\n"
    "                    [--source infoseek|yahoo] [--resume-from CODE]\n"
    "       quarlink-cli [--workdir DIR] update --source jquants [--no-margin] [--all-codes]\n"
    "                    [--topix] [--nikkei] [--from YYYYMMDD] [--through YYYYMMDD]\n"
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
    "  --source S           infoseek (default), yahoo or jquants\n"
    "  --resume-from CODE   start at CODE, as printed by a run that stopped\n"
    "\n"
    "With --source jquants, the catch-up over J-Quants API v2 (key in JQUANTS_API_KEY\n"
    "or the first line of jquants.key in the working folder, mode 600): every\n"
    "business day from the newest date in data/1000..9999 (taken in again) or\n"
    "--from, through today or --through, one request a day for the whole market;\n"
    "each day is flushed before the next is written, and a new run continues from\n"
    "the data.\n"
    "  --topix              store TOPIX in data/0102 (Light plan and above)\n"
    "  --from YYYYMMDD      first day to take in (default: the newest day in the data)\n"
    "  --through YYYYMMDD   last day (default: today)\n"
    "\n"
    "Exit codes: 0 done, 1 refused, 2 connection lost, 3 unrecognised page; on 2\n"
    "and 3 the last line names the code to resume from (jquants: run again).\n",
    run,
};

}  // namespace quarlink::cli
