#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "core/jobs/margin_fill_job.h"
#include "gui/jobs/job_dialog.h"

namespace quarlink {

// "信用残補填": a view over MarginFillJob.
class SuppShinDialog : public JobDialog {
    Q_OBJECT
public:
    SuppShinDialog(Application& app, QWidget* parent = nullptr, Prompter* prompter = nullptr);

    QCheckBox* indexOnlyBox() const { return indexOnly_; }
    QComboBox* sourceList() const { return source_; }
    QLineEdit* statusLine() const { return status_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    void onStart();
    void settingsReopened() override;
    void applyOutcome(const JobOutcome& o) override;
    void jobEnded(const JobOutcome& last, bool stoppedByRequest) override;

    MarginFillJob& job_;
    QCheckBox* indexOnly_;
    QComboBox* source_;
    QLineEdit* status_;
    QProgressBar* progress_;
    QPushButton* start_;
    QPushButton* cancel_;
};

}  // namespace quarlink
