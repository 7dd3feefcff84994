#pragma once
#include <QDialog>
#include <memory>

#include "jobs/qt_job_runner.h"
#include "jobs/supplement_job.h"
#include "store/prompter.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace quarlink {

// Fills gaps in the chart folder's price files from a source folder; a thin
// view over SupplementJob. Ticks run on a worker thread.
class SupplementDialog : public QDialog {
    Q_OBJECT
public:
    SupplementDialog(Application& app, QWidget* parent, Prompter* prompter = nullptr);
    ~SupplementDialog() override;

    void done(int result) override;

private:
    void takeMembers();
    void showSourceKind();
    void onStart();
    void onStop();
    void onBrowse();
    void apply(const JobOutcome& outcome);
    void onFinished(const JobOutcome& last, bool stoppedByRequest);
    void setRunning(bool running);

    std::shared_ptr<SupplementJob> job_;
    std::unique_ptr<Prompter> ownPrompter_;
    Prompter* prompter_;
    QCheckBox* overwrite_;
    QComboBox* sourceKind_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QLineEdit* status_;
    QProgressBar* progress_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* cancel_;
    JobRunner runner_;
    bool closing_ = false;
    bool stopping_ = false;
};

}  // namespace quarlink
