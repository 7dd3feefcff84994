#pragma once
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "core/jobs/split_scan_job.h"
#include "gui/jobs/job_dialog.h"
#include "gui/jobs/job_labels.h"

namespace quarlink {

// "分割情報取得", opened from the index update: scans J-Quants' adjustment
// factors with a progress bar and a stop, lists the splits index.txt lacks
// and records them on the second button.
class SplitsDialog : public JobDialog {
    Q_OBJECT
public:
    SplitsDialog(Application& app, QWidget* parent = nullptr, Prompter* prompter = nullptr);

    // True once a write recorded a split: the caller's copy of index.txt is old.
    bool wrote() const { return wrote_; }

    QDateEdit* fromField() const { return from_; }
    QLineEdit* statusLine() const { return status_; }
    QProgressBar* progressBar() const { return progress_; }
    QListWidget* splitList() const { return list_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* writeButton() const { return write_; }
    QPushButton* closeButton() const { return close_; }

private:
    void onStart();
    void onStop();
    void onWrite();
    void showSplits(const std::vector<CodeSplit>& splits, const char* label);
    void applyOutcome(const JobOutcome& o) override;
    void jobEnded(const JobOutcome& last, bool stoppedByRequest) override;

    SplitScanJob& job_;
    QDateEdit* from_;
    QLineEdit* status_;
    QProgressBar* progress_;
    QLabel* listLabel_;
    QListWidget* list_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* write_;
    QPushButton* close_;
    bool wrote_ = false;
};

}  // namespace quarlink
