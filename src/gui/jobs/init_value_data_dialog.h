#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "core/jobs/init_data_job.h"
#include "gui/jobs/job_dialog.h"

namespace quarlink {

// "初期化データの作成": a view over InitDataJob.
class InitValueDataDialog : public JobDialog {
    Q_OBJECT
public:
    InitValueDataDialog(Application& app, QWidget* parent = nullptr, Prompter* prompter = nullptr);

    QCheckBox* marginBox() const { return margin_; }
    QCheckBox* nikkeiBox() const { return nikkei_; }
    QCheckBox* topixBox() const { return topix_; }
    QComboBox* sourceList() const { return source_; }
    QComboBox* yearList() const { return year_; }
    QLabel* planNote() const { return planNote_; }
    QLineEdit* statusLine() const { return status_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* createButton() const { return create_; }
    QPushButton* transferButton() const { return transfer_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    enum class Action { Create, Transfer, Delete };
    void begin(Action action);
    void onStop();
    // The choices and start years the chosen source can fill.
    void fitToSource();
    void setSettingsEnabled(bool on);
    void settingsReopened() override;
    void modeEnded();
    void applyOutcome(const JobOutcome& o) override;
    void jobEnded(const JobOutcome& last, bool stoppedByRequest) override;

    InitDataJob& job_;
    QCheckBox* margin_;
    QCheckBox* nikkei_;
    QCheckBox* topix_;
    QComboBox* source_;
    QComboBox* year_;
    QLabel* planNote_;
    QLineEdit* status_;
    QProgressBar* progress_;
    QPushButton* create_;
    QPushButton* transfer_;
    QPushButton* delete_;
    QPushButton* stop_;
    QPushButton* cancel_;
};

}  // namespace quarlink
