#include "cli_update_jquants.h"

#include "cli_commands.h"
#include "jobs/catch_up_job.h"
#include "store/folder_layout.h"
#include "web/jquants/jquants_json.h"

namespace quarlink::cli {

int runJQuantsUpdate(Context& context, const UpdateFlags& flags) {
    const auto& fromText = flags.from;
    const auto& throughText = flags.through;
    const std::int32_t from = fromText ? jquants::parseDate(*fromText) : 0;
    const std::int32_t through = throughText ? jquants::parseDate(*throughText) : 0;
    if ((fromText && !from) || (throughText && !through))
        return usageError("update", "--from and --through take a date YYYYMMDD");

    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::Update)) return kExitFailed;

    SystemClock clock;
    CatchUpJob job(context.app, loadEndpoints(layout::endpointsFile(context.app)), clock);
    job.settings.margin = !flags.noMargin;
    job.settings.indexOnly = !flags.allCodes;
    job.settings.nikkei = flags.nikkei;
    job.settings.topix = flags.topix;
    job.settings.from = from;
    job.settings.through = through;
    job.onWait = [](const std::string& line) { printStatus(line); };
    return driveJob(job, context.prompter);
}

}  // namespace quarlink::cli
