#pragma once
#include "gui/jobs/job_dialog.h"
#include "core/jobs/supplement_job.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace quarlink {

// Fills gaps in the chart folder's price files from a source folder; a thin
// view over SupplementJob. Its Stop ends the run after the file in hand.
class SupplementDialog : public JobDialog {
    Q_OBJECT
public:
    SupplementDialog(Application& app, QWidget* parent, Prompter* prompter = nullptr);

private:
    void takeMembers();
    void showSourceKind();
    void onStart();
    void onStop();
    void onBrowse();
    void applyOutcome(const JobOutcome& outcome) override;
    void jobEnded(const JobOutcome& last, bool stoppedByRequest) override;
    void setRunning(bool running);

    SupplementJob& job_;
    QCheckBox* overwrite_;
    QComboBox* sourceKind_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QLineEdit* status_;
    QProgressBar* progress_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* cancel_;
    bool stopping_ = false;
};

}  // namespace quarlink
