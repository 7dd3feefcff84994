#include "jobs/backup_dialog.h"

namespace quarlink {

MakeBackUpDialog::MakeBackUpDialog(Application& app, QWidget* parent, Prompter* prompter)
    : AutoJobDialog(QString::fromUtf8(backup_text::kBackupTitle), QString::fromUtf8(backup_text::kNote), prompter,
                    parent) {
    auto job = std::make_shared<BackupJob>(app, BackupJob::Direction::Backup);
    setJob(job->open(), [job] { return job->start(); }, [job] { return job->tick(); });
}

RestoreBackUpDialog::RestoreBackUpDialog(Application& app, QWidget* parent, Prompter* prompter)
    : AutoJobDialog(QString::fromUtf8(backup_text::kRestoreTitle), QString::fromUtf8(backup_text::kNote), prompter,
                    parent) {
    auto job = std::make_shared<BackupJob>(app, BackupJob::Direction::Restore);
    setJob(job->open(), [job] { return job->start(); }, [job] { return job->tick(); });
}

}  // namespace quarlink
