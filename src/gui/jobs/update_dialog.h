#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "core/jobs/daily_update.h"
#include "gui/jobs/job_dialog.h"
#include "core/schedule/schedule_settings.h"

namespace quarlink {

// "日々のデータ更新": a view over the daily update the core's factory makes
// for the chosen source.
class UpdateDialog : public JobDialog {
    Q_OBJECT
public:
    UpdateDialog(Application& app, QWidget* parent = nullptr, Prompter* prompter = nullptr);

    QCheckBox* marginBox() const { return margin_; }
    QCheckBox* indexOnlyBox() const { return indexOnly_; }
    QCheckBox* nikkeiBox() const { return nikkei_; }
    QCheckBox* topixBox() const { return topix_; }
    QComboBox* sourceList() const { return source_; }
    QLineEdit* statusLine() const { return status_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* cancelButton() const { return cancel_; }

    // A run made without the dialog (the scheduled update's): the dialog
    // takes its session and job, shows its settings, its last status line
    // and bar, and 更新 goes on where the run stopped when it can.
    void showRun(std::unique_ptr<WebSession> web, std::unique_ptr<Job> job, const DailyUpdateSettings& settings,
                 const JobOutcome& last, const QString& status, int progress);

private:
    void onStart();
    // The choices the chosen source can fill.
    void fitToSource();
    void setSettingsEnabled(bool on);
    void settingsReopened() override;
    void applyOutcome(const JobOutcome& o) override;
    void jobEnded(const JobOutcome& last, bool stoppedByRequest) override;

    Job* job_;            // made anew from the controls at the first start
    QCheckBox* margin_;
    QCheckBox* indexOnly_;
    QCheckBox* nikkei_;
    QCheckBox* topix_;
    QComboBox* source_;
    QLineEdit* status_;
    QProgressBar* progress_;
    QPushButton* start_;
    QPushButton* cancel_;
};

}  // namespace quarlink
