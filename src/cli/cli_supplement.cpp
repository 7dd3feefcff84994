#include "cli_commands.h"
#include <filesystem>
#include "jobs/supplement_job.h"

namespace quarlink::cli {
namespace {

int run(Context& context, Args& args) {
    const auto folder = args.value("--folder");
    const bool init = args.flag("--init");
    const bool backup = args.flag("--backup");
    const bool overwrite = args.flag("--overwrite");
    if (args.missingValue()) return usageError("supplement", args.missingName() + " needs a value");
    if (auto extra = args.leftover()) return usageError("supplement", "unexpected argument '" + *extra + "'");
    if (int(folder.has_value()) + int(init) + int(backup) != 1)
        return usageError("supplement", "give exactly one of --folder DIR, --init, --backup");

    loadOptionsForCommand(context);
    if (!requireChartFolder(context)) return kExitFailed;

    SupplementJob job(context.app);
    printStatus(*job.open().status);
    job.settings.overwrite = overwrite;
    if (folder) {
        job.settings.sourceKind = SupplementJob::SourceKind::Folder;
        // Relative to where the command is run, as a shell user expects.
        job.settings.folderText = folder->empty() ? *folder : std::filesystem::absolute(*folder).string();
    } else {
        job.settings.sourceKind = init ? SupplementJob::SourceKind::Init : SupplementJob::SourceKind::Backup;
    }
    return driveJob(job, context.prompter);
}

}  // namespace

const Command kSupplementCommand{
    "supplement",
    "fill gaps in the chart folder's price files from another folder",
    "Usage: quarlink-cli [--workdir DIR] supplement (--folder DIR | --init | --backup) [--overwrite]\n"
    "\n"
    "For every code whose price file exists both in the source folder and in\n"
    "<chart folder>/data, merges the source's records into the chart folder's file\n"
    "by date. Days the chart folder lacks are added; days both have keep the chart\n"
    "folder's values unless --overwrite is given. No price file is created.\n"
    "\n"
    "Options:\n"
    "  --folder DIR   take the source files from DIR\n"
    "  --init         take them from init/ in the working folder\n"
    "  --backup       take them from backup/ in the working folder\n"
    "  --overwrite    a source record replaces a chart record of the same date\n"
    "\n"
    "Exit 1 when some files could not be merged (their number is in the message).\n",
    run,
};

}  // namespace quarlink::cli
