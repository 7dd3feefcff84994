#include "cli_commands.h"
#include "jobs/backup_job.h"

namespace quarlink::cli {
namespace {

int runCopy(Context& context, Args& args, BackupJob::Direction direction) {
    const char* name = direction == BackupJob::Direction::Backup ? "backup" : "restore";
    context.prompter.assumeYes = args.flag("--yes");
    if (auto extra = args.leftover()) return usageError(name, "unexpected argument '" + *extra + "'");

    loadOptionsForCommand(context);
    if (!requireChartFolder(context)) return kExitFailed;
    const char* question = direction == BackupJob::Direction::Backup ? backup_text::kBackupQuestion
                                                                     : backup_text::kRestoreQuestion;
    if (!context.prompter.askYesNo(question)) return kExitFailed;

    BackupJob job(context.app, direction);
    return driveJob(job, context.prompter);
}

int runBackup(Context& context, Args& args) { return runCopy(context, args, BackupJob::Direction::Backup); }
int runRestore(Context& context, Args& args) { return runCopy(context, args, BackupJob::Direction::Restore); }

}  // namespace

const Command kBackupCommand{
    "backup",
    "copy every price file of the chart folder to backup/",
    "Usage: quarlink-cli [--workdir DIR] backup [--yes]\n"
    "\n"
    "Copies every existing <chart folder>/data/NNNN (codes 0000 to 9999) whole to\n"
    "backup/NNNN in the working folder, replacing older copies. Files of codes that\n"
    "are gone from the chart folder stay in backup/.\n"
    "\n"
    "Asks first whether to go on. --yes answers Yes; on a terminal the question is\n"
    "asked; otherwise the answer is No and nothing runs (exit 1).\n"
    "\n"
    "Prints a status line per copied file and the final message with the count.\n"
    "Exit 1 when some files could not be copied (their number is in the message).\n",
    runBackup,
};

const Command kRestoreCommand{
    "restore",
    "copy every file of backup/ back into the chart folder",
    "Usage: quarlink-cli [--workdir DIR] restore [--yes]\n"
    "\n"
    "Copies every existing backup/NNNN (codes 0000 to 9999) whole to\n"
    "<chart folder>/data/NNNN, replacing the current file. Other files of the\n"
    "chart folder are left alone.\n"
    "\n"
    "Asks first whether to go on. --yes answers Yes; on a terminal the question is\n"
    "asked; otherwise the answer is No and nothing runs (exit 1).\n"
    "\n"
    "Exit 1 when some files could not be copied (their number is in the message).\n",
    runRestore,
};

}  // namespace quarlink::cli
