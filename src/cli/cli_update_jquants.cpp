#include "cli_update_jquants.h"

#include "cli_commands.h"
#include "jobs/catch_up_job.h"
#include "store/folder_layout.h"
#include "web/jquants/jquants_json.h"

namespace quarlink::cli {

int runJQuantsUpdate(Context& context, Args& args, const UpdateFlags& flags) {
    const bool topix = args.flag("--topix");
    const auto fromText = args.value("--from");
    const auto throughText = args.value("--through");
    if (args.missingValue()) return usageError("update", args.missingName() + " needs a value");
    if (flags.resume)
        return usageError("update", "--resume-from does not apply to --source jquants: a new run continues "
                                    "from the data itself");
    const std::int32_t from = fromText ? jquants::parseDate(*fromText) : 0;
    const std::int32_t through = throughText ? jquants::parseDate(*throughText) : 0;
    if ((fromText && !from) || (throughText && !through))
        return usageError("update", "--from and --through take a date YYYYMMDD");
    if (auto extra = args.leftover()) return usageError("update", "unexpected argument '" + *extra + "'");

    loadOptionsForCommand(context);
    if (!requireChartFolder(context)) return kExitFailed;

    SystemClock clock;
    CatchUpJob job(context.app, loadEndpoints(layout::endpointsFile(context.app)), clock);
    job.settings.margin = !flags.noMargin;
    job.settings.indexOnly = !flags.allCodes;
    job.settings.nikkei = flags.nikkei;
    job.settings.topix = topix;
    job.settings.from = from;
    job.settings.through = through;
    job.onWait = [](const std::string& line) { printStatus(line); };
    return driveJob([&] { return job.start(); }, [&] { return job.tick(); }, context.prompter);
}

}  // namespace quarlink::cli
