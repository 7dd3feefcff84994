#include "jobs/backup_dialog.h"

namespace quarlink {

MakeBackUpDialog::MakeBackUpDialog(Application& app, QWidget* parent, Prompter* prompter)
    : AutoJobDialog(app, QString::fromUtf8(backup_text::kBackupTitle), QString::fromUtf8(backup_text::kNote), prompter,
                    parent) {
    openJob<BackupJob>(app, BackupJob::Direction::Backup);
}

RestoreBackUpDialog::RestoreBackUpDialog(Application& app, QWidget* parent, Prompter* prompter)
    : AutoJobDialog(app, QString::fromUtf8(backup_text::kRestoreTitle), QString::fromUtf8(backup_text::kNote),
                    prompter, parent) {
    openJob<BackupJob>(app, BackupJob::Direction::Restore);
}

}  // namespace quarlink
