#include "cli_commands.h"
#include "core/jobs/backup_job.h"

namespace quarlink::cli {
namespace {

int runCopy(Context& context, bool yes, BackupJob::Direction direction) {
    context.prompter.assumeYes = yes;
    loadOptionsForCommand(context);
    const bool backup = direction == BackupJob::Direction::Backup;
    if (!admitted(context, backup ? TrayCommand::MakeBackUp : TrayCommand::RestoreBackUp)) return kExitFailed;

    BackupJob job(context.app, direction);
    return driveJob(job, context.prompter);
}

Runner declareCopy(CLI::App& command, BackupJob::Direction direction) {
    auto yes = std::make_shared<bool>(false);
    command.add_flag("--yes", *yes, kYesDescription);
    return [yes, direction](Context& context) { return runCopy(context, *yes, direction); };
}

Runner declareBackup(CLI::App& command) { return declareCopy(command, BackupJob::Direction::Backup); }
Runner declareRestore(CLI::App& command) { return declareCopy(command, BackupJob::Direction::Restore); }

}  // namespace

const Command kBackupCommand{
    "backup",
    "copy every price file of the chart folder to backup/",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] backup [--yes]\n"
    "\n"
    "Copies every existing <chart folder>/data/NNNN (codes 0000 to 9999) whole to\n"
    "backup/NNNN in the working folder, replacing older copies. Files of codes that\n"
    "are gone from the chart folder stay in backup/.\n"
    "\n"
    "Asks first whether to go on.\n"
    "{options}\n"
    "\n"
    "Prints a status line per copied file and the final message with the count.\n"
    "Exit 1 when some files could not be copied (their number is in the message).\n",
    declareBackup,
};

const Command kRestoreCommand{
    "restore",
    "copy every file of backup/ back into the chart folder",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] restore [--yes]\n"
    "\n"
    "Copies every existing backup/NNNN (codes 0000 to 9999) whole to\n"
    "<chart folder>/data/NNNN, replacing the current file. Other files of the\n"
    "chart folder are left alone.\n"
    "\n"
    "Asks first whether to go on.\n"
    "{options}\n"
    "\n"
    "Exit 1 when some files could not be copied (their number is in the message).\n",
    declareRestore,
};

}  // namespace quarlink::cli
