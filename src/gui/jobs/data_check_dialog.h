#pragma once
#include <memory>

#include "core/health/data_check_job.h"
#include "gui/jobs/job_dialog.h"
#include "core/store/writer_lock.h"

class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace quarlink {

// "データ点検": runs the data check as soon as it opens and lists the
// findings (code, what, whether 修復 fixes it, dates). 修復 runs the check
// again with the repair, under the writer lock, which the job asks about
// before it writes; the fresh findings are in view while it asks.
class DataCheckDialog : public JobDialog {
    Q_OBJECT
public:
    DataCheckDialog(Application& app, QWidget* parent, Prompter* prompter = nullptr);

    // Writes the findings as text to `path`; false (the user told) on failure.
    bool saveReport(const QString& path);
    void startCheck(bool repair);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onSave();
    void applyOutcome(const JobOutcome& outcome) override;
    void jobEnded(const JobOutcome& last, bool stoppedByRequest) override;
    void setRunning(bool running);
    // Lists the job's findings; true when 修復 would change something.
    bool showFindings();

    DataCheckJob& job_;
    WriterLock lock_;
    QTreeWidget* findings_;
    QLineEdit* status_;
    QProgressBar* progress_;
    QPushButton* check_;
    QPushButton* repair_;
    QPushButton* save_;
    QPushButton* close_;
    bool started_ = false;
};

}  // namespace quarlink
