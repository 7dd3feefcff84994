#include "gui/jobs/backup_dialog.h"

#include "gui/jobs/job_labels.h"

namespace quarlink {

MakeBackUpDialog::MakeBackUpDialog(Application& app, QWidget* parent, Prompter* prompter)
    : AutoJobDialog(app, QString::fromUtf8(backup_labels::kBackupTitle), QString::fromUtf8(backup_labels::kNote),
                    prompter, parent) {
    openJob<BackupJob>(app, BackupJob::Direction::Backup);
}

RestoreBackUpDialog::RestoreBackUpDialog(Application& app, QWidget* parent, Prompter* prompter)
    : AutoJobDialog(app, QString::fromUtf8(backup_labels::kRestoreTitle), QString::fromUtf8(backup_labels::kNote),
                    prompter, parent) {
    openJob<BackupJob>(app, BackupJob::Direction::Restore);
}

}  // namespace quarlink
