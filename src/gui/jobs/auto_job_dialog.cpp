#include "gui/jobs/auto_job_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/jobs/job_status.h"

namespace quarlink {

AutoJobDialog::AutoJobDialog(Application& app, const QString& title, const QString& note, Prompter* prompter,
                             QWidget* parent)
    : JobDialog(app, prompter, parent) {
    setWindowTitle(title);
    setModal(true);

    status_ = makeStatusLine(this);
    status_->setMinimumWidth(320);
    progress_ = makeProgressBar(this);
    auto* noteLabel = new QLabel(note, this);
    noteLabel->setObjectName(QStringLiteral("note"));
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    setCancelButton(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(noteLabel, 1);
    bottom->addWidget(cancel_);
    layout->addLayout(bottom);
}

void AutoJobDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    runJob();
}

void AutoJobDialog::applyOutcome(const JobOutcome& outcome) { showOutcome(outcome, status_, progress_); }

void AutoJobDialog::jobEnded(const JobOutcome& last, bool stoppedByRequest) {
    if (stoppedByRequest) return;
    tellEnd(last);
    // These dialogs have nothing left to show once their job is done.
    if (last.state == JobState::Finished) accept();
}

}  // namespace quarlink
