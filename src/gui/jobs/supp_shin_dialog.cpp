#include "gui/jobs/supp_shin_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/jobs/job_labels.h"
#include "core/jobs/catch_up_job.h"
#include "gui/jobs/job_status.h"
#include "gui/jobs/source_choice.h"

namespace quarlink {

namespace {
constexpr const char* kDialog = "margin-fill";
}  // namespace

SuppShinDialog::SuppShinDialog(Application& app, QWidget* parent, Prompter* prompter)
    : JobDialog(app, prompter, parent), job_(makeJob<MarginFillJob>(app, web().reader(), web().environment(), web().endpoints())) {
    setWindowTitle(QString::fromUtf8(margin_fill_labels::kCaption));
    indexOnly_ = new QCheckBox(QString::fromUtf8(margin_fill_labels::kIndexOnlyLabel));
    source_ = new QComboBox;
    addSource(source_, SourceKind::Yahoo);
    addSource(source_, SourceKind::JQuants);
    status_ = makeStatusLine();
    fitStatusLine(status_, {margin_fill_text::kFinished, margin_fill_text::kFinishedSkip});
    progress_ = makeProgressBar();
    start_ = new QPushButton(QString::fromUtf8(margin_fill_labels::kStartButton));
    cancel_ = new QPushButton(QString::fromUtf8(margin_fill_labels::kCancelButton));
    start_->setDefault(true);

    QHBoxLayout* buttons = makeButtonRow({start_, cancel_});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(indexOnly_);
    layout->addWidget(source_);
    layout->addWidget(new QLabel(QString::fromUtf8(margin_fill_labels::kNote)));
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addLayout(buttons);

    connect(start_, &QPushButton::clicked, this, &SuppShinDialog::onStart);
    connect(cancel_, &QPushButton::clicked, this, &SuppShinDialog::reject);
    setCancelButton(cancel_);

    setBeforeTick([this] { showProgressBeforeStep(progress_, job_.currentCode() / 100); });
    applyOutcome(job_.open());
    indexOnly_->setChecked(job_.settings.indexOnly);
    pickStartingSource(source_, app, kDialog, job_.settings.source);
    // A J-Quants rate-limit wait happens inside a step, on the worker thread.
    job_.onWait = statusFromWorker(status_);
}

void SuppShinDialog::onStart() {
    if (jobBusy()) return;
    if (!job_.settingsTaken()) {
        job_.settings.indexOnly = indexOnly_->isChecked();
        job_.settings.source = chosenSource(source_);
        rememberSource(app_, kDialog, job_.settings.source);
    }
    indexOnly_->setEnabled(false);
    source_->setEnabled(false);
    start_->setEnabled(false);
    runJob(job_.settings.source);
}

void SuppShinDialog::settingsReopened() {
    for (QWidget* w : {static_cast<QWidget*>(indexOnly_), static_cast<QWidget*>(source_),
                       static_cast<QWidget*>(start_)})
        w->setEnabled(true);
}

void SuppShinDialog::applyOutcome(const JobOutcome& o) {
    showOutcome(o, status_, progress_);
}

void SuppShinDialog::jobEnded(const JobOutcome& last, bool) {
    if (last.state == JobState::Stopped) start_->setEnabled(true);
    tellEnd(last);
}

}  // namespace quarlink
