#pragma once
#include "gui/jobs/job_dialog.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace quarlink {

// The shape shared by the file jobs that start as soon as their dialog opens
// and close themselves when done: a status line, a progress bar, a fixed note
// and "キャンセル".
class AutoJobDialog : public JobDialog {
    Q_OBJECT
public:
    AutoJobDialog(Application& app, const QString& title, const QString& note, Prompter* prompter, QWidget* parent);

protected:
    // Makes the job and shows its opening outcome; it runs once the dialog is shown.
    template <class J, class... Args>
    void openJob(Args&&... args) {
        applyOutcome(makeJob<J>(std::forward<Args>(args)...).open());
    }
    void showEvent(QShowEvent* event) override;

private:
    void applyOutcome(const JobOutcome& outcome) override;
    void jobEnded(const JobOutcome& last, bool stoppedByRequest) override;

    QLineEdit* status_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    bool started_ = false;
};

}  // namespace quarlink
