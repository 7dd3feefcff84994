#pragma once
#include <QDialog>
#include <memory>

#include "jobs/qt_job_runner.h"
#include "store/prompter.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace quarlink {

// The shape shared by the file jobs that start as soon as their dialog opens
// and close themselves when done: a status line, a progress bar, a fixed note
// and "キャンセル". The job's steps run on a worker thread; each step keeps
// its job alive, so closing the dialog mid-tick is safe.
class AutoJobDialog : public QDialog {
    Q_OBJECT
public:
    AutoJobDialog(const QString& title, const QString& note, Prompter* prompter, QWidget* parent);
    ~AutoJobDialog() override;

    void done(int result) override;

protected:
    // The steps to run once the dialog is shown; `opening` is applied at once.
    void setJob(const JobOutcome& opening, JobRunner::Step start, JobRunner::Step tick);
    void showEvent(QShowEvent* event) override;

private:
    void apply(const JobOutcome& outcome);
    void onFinished(const JobOutcome& last, bool stoppedByRequest);

    QLineEdit* status_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    std::unique_ptr<Prompter> ownPrompter_;
    Prompter* prompter_;
    JobRunner runner_;
    JobRunner::Step start_;
    JobRunner::Step tick_;
    bool started_ = false;
    bool closing_ = false;
};

}  // namespace quarlink
