#include "jobs/qt_auto_job_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "jobs/qt_job_status.h"
#include "shell/qt_prompter.h"

namespace quarlink {

AutoJobDialog::AutoJobDialog(const QString& title, const QString& note, Prompter* prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
    if (!prompter_) {
        ownPrompter_ = std::make_unique<QtPrompter>(this);
        prompter_ = ownPrompter_.get();
    }
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

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(noteLabel, 1);
    bottom->addWidget(cancel_);
    layout->addLayout(bottom);

    connect(&runner_, &JobRunner::outcome, this, &AutoJobDialog::apply);
    connect(&runner_, &JobRunner::finished, this, &AutoJobDialog::onFinished);
}

AutoJobDialog::~AutoJobDialog() { runner_.requestStop(); }

void AutoJobDialog::setJob(const JobOutcome& opening, JobRunner::Step start, JobRunner::Step tick) {
    start_ = std::move(start);
    tick_ = std::move(tick);
    apply(opening);
}

void AutoJobDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_ || !start_) return;
    started_ = true;
    runner_.run(start_, tick_);
}

void AutoJobDialog::apply(const JobOutcome& outcome) {
    if (closing_) return;
    showOutcome(outcome, status_, progress_);
}

void AutoJobDialog::onFinished(const JobOutcome& last, bool stoppedByRequest) {
    if (closing_ || stoppedByRequest) return;
    if (last.message) prompter_->message(*last.message);
        // These dialogs have nothing left to show once their job is done.
    if (last.state == JobState::Finished) accept();
}

void AutoJobDialog::done(int result) {
    // Cancel acts at once: no further tick is started; the one in flight
    // finishes on the worker and keeps its file whole.
    closing_ = true;
    runner_.requestStop();
    QDialog::done(result);
}

}  // namespace quarlink
