#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "jobs/catch_up_job.h"
#include "jobs/job_dialog.h"
#include "jobs/update_job.h"
#include "schedule/schedule_settings.h"

namespace quarlink {

// "日々のデータ更新": a view over UpdateJob, or CatchUpJob for the J-Quants source.
class UpdateDialog : public JobDialog {
    Q_OBJECT
public:
    UpdateDialog(Application& app, QWidget* parent = nullptr, Prompter* prompter = nullptr);

    QCheckBox* marginBox() const { return margin_; }
    QCheckBox* indexOnlyBox() const { return indexOnly_; }
    QCheckBox* nikkeiBox() const { return nikkei_; }
    QComboBox* sourceList() const { return source_; }
    QLineEdit* statusLine() const { return status_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* cancelButton() const { return cancel_; }

    // The scheduled update: the controls take the schedule's settings and the
    // job starts at once, the dialog not shown. Questions go to the prompter
    // given at construction.
    void runUnattended(const ScheduleSettings& settings);
    // After each outcome: the status line and the bar's position.
    std::function<void(const QString& status, int progress)> onOutcome;
    // After the job left Running and its message went to the prompter.
    std::function<void(const JobOutcome& last)> onEnded;

private:
    void onStart();
    void applyOutcome(const JobOutcome& o) override;
    void jobEnded(const JobOutcome& last, bool stoppedByRequest) override;

    Job& current() { return catchUp_ ? static_cast<Job&>(*catchUp_) : *job_; }

    UpdateJob* job_;               // the page sources; gone once the J-Quants source is started
    CatchUpJob* catchUp_ = nullptr;
    bool topix_ = false;  // the schedule's; the dialog has no control for it
    QCheckBox* margin_;
    QCheckBox* indexOnly_;
    QCheckBox* nikkei_;
    QComboBox* source_;
    QLineEdit* status_;
    QProgressBar* progress_;
    QPushButton* start_;
    QPushButton* cancel_;
};

}  // namespace quarlink
