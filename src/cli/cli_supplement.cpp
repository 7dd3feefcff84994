#include "cli_commands.h"
#include <filesystem>
#include <memory>
#include "core/jobs/supplement_job.h"

namespace quarlink::cli {
namespace {

struct Options {
    std::optional<std::string> folder;
    bool init = false;
    bool backup = false;
    bool overwrite = false;
};

int run(Context& context, const Options& options) {
    const auto& [folder, init, backup, overwrite] = options;
    if (!folder && !init && !backup) return usageError("supplement", "give one of --folder DIR, --init, --backup");
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::Supplement)) return kExitFailed;

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

void addOptions(CLI::App& command, Options& options) {
    auto* folder = command
                       .add_option_function<std::string>(
                           "--folder", [&options](const std::string& dir) { options.folder = dir; },
                           "take the source files from DIR")
                       ->type_name("DIR");
    auto* init = command.add_flag("--init", options.init, "take them from init/ in the working folder");
    auto* backup = command.add_flag("--backup", options.backup, "take them from backup/ in the working folder");
    command.add_flag("--overwrite", options.overwrite, "a source record replaces a chart record of the same date");
    folder->excludes(init)->excludes(backup);
    init->excludes(backup);
}

}  // namespace

const Command kSupplementCommand{
    "supplement",
    "fill gaps in the chart folder's price files from another folder",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] supplement (--folder DIR | --init | --backup) [--overwrite]\n"
    "\n"
    "For every code whose price file exists both in the source folder and in\n"
    "<chart folder>/data, merges the source's records into the chart folder's file\n"
    "by date. Days the chart folder lacks are added; days both have keep the chart\n"
    "folder's values unless --overwrite is given. No price file is created.\n"
    "\n"
    "Options:\n"
    "{options}\n"
    "\n"
    "Exit 1 when some files could not be merged (their number is in the message).\n",
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
