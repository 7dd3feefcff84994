#pragma once
#include <memory>

#include "core/jobs/backup_job.h"
#include "gui/jobs/auto_job_dialog.h"

namespace quarlink {

// Copies every price file to the backup folder as soon as it opens; closes
// itself with the final message. The tray menu asks kBackupQuestion first.
class MakeBackUpDialog : public AutoJobDialog {
    Q_OBJECT
public:
    MakeBackUpDialog(Application& app, QWidget* parent, Prompter* prompter = nullptr);
};

// Copies every backup file back into the chart folder; the tray menu asks
// kRestoreQuestion first.
class RestoreBackUpDialog : public AutoJobDialog {
    Q_OBJECT
public:
    RestoreBackUpDialog(Application& app, QWidget* parent, Prompter* prompter = nullptr);
};

}  // namespace quarlink
