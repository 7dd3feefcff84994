#include "jobs/update_dialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "jobs/job_labels.h"
#include "jobs/job_status.h"

namespace quarlink {

UpdateDialog::UpdateDialog(Application& app, QWidget* parent, Prompter* prompter)
    : JobDialog(app, prompter, parent), job_(&makeJob<UpdateJob>(app, web().reader(), web().clock())) {
    setWindowTitle(QString::fromUtf8(update_labels::kCaption));
    margin_ = new QCheckBox(QString::fromUtf8(update_labels::kMarginLabel));
    indexOnly_ = new QCheckBox(QString::fromUtf8(update_labels::kIndexOnlyLabel));
    nikkei_ = new QCheckBox(QString::fromUtf8(update_labels::kNikkeiLabel));
    source_ = new QComboBox;
    source_->addItem(QString::fromUtf8(update_labels::kSourceInfoSeek));
    source_->addItem(QString::fromUtf8(update_labels::kSourceYahoo));
    source_->addItem(QString::fromUtf8(catch_up_text::kSource));
    status_ = makeStatusLine();
    fitStatusLine(status_, {update_text::kFinishedSkip, update_text::kProgress});
    progress_ = makeProgressBar();
    start_ = new QPushButton(QString::fromUtf8(update_labels::kStartButton));
    cancel_ = new QPushButton(QString::fromUtf8(update_labels::kCancelButton));
    start_->setDefault(true);

    QHBoxLayout* buttons = makeButtonRow({start_, cancel_});
    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : {static_cast<QWidget*>(margin_), static_cast<QWidget*>(indexOnly_),
                       static_cast<QWidget*>(nikkei_), static_cast<QWidget*>(source_),
                       static_cast<QWidget*>(status_), static_cast<QWidget*>(progress_)})
        layout->addWidget(w);
    layout->addLayout(buttons);

    connect(start_, &QPushButton::clicked, this, &UpdateDialog::onStart);
    connect(cancel_, &QPushButton::clicked, this, &UpdateDialog::reject);

    // The bar names the code whose page is being fetched, not the last one.
    setBeforeTick([this] {
        if (job_) showProgressBeforeStep(progress_, job_->currentCode() / 100);
    });
    applyOutcome(job_->open());
    margin_->setChecked(job_->settings.margin);
    indexOnly_->setChecked(job_->settings.indexOnly);
    nikkei_->setChecked(job_->settings.nikkei);
    source_->setCurrentIndex(job_->settings.source);
}

void UpdateDialog::onStart() {
    if (jobBusy()) return;
    // The settings are taken at the first start; after a stop they stay disabled and unchanged.
    if (!current().settingsTaken()) {
        if (source_->currentIndex() == 2 && !catchUp_) {
            // The J-Quants source has a job of its own; the page job is not needed again.
            catchUp_ = &makeJob<CatchUpJob>(app_, web().endpoints(), web().clock());
            job_ = nullptr;
            // A rate-limit wait happens inside a step, on the worker thread.
            catchUp_->onWait = [this](const std::string& line) {
                QMetaObject::invokeMethod(
                    this, [this, text = QString::fromStdString(line)] { setStatusText(status_, text); },
                    Qt::QueuedConnection);
            };
        }
        if (catchUp_) {
            catchUp_->settings.margin = margin_->isChecked();
            catchUp_->settings.indexOnly = indexOnly_->isChecked();
            catchUp_->settings.nikkei = nikkei_->isChecked();
            catchUp_->settings.topix = topix_;
        } else {
            job_->settings.margin = margin_->isChecked();
            job_->settings.indexOnly = indexOnly_->isChecked();
            job_->settings.nikkei = nikkei_->isChecked();
            job_->settings.source = source_->currentIndex();
        }
    }
    for (QWidget* w : {static_cast<QWidget*>(margin_), static_cast<QWidget*>(indexOnly_),
                       static_cast<QWidget*>(nikkei_), static_cast<QWidget*>(source_),
                       static_cast<QWidget*>(start_)})
        w->setEnabled(false);
    runJob();
}

void UpdateDialog::runUnattended(const ScheduleSettings& settings) {
    margin_->setChecked(settings.margin);
    indexOnly_->setChecked(settings.indexOnly);
    nikkei_->setChecked(settings.nikkei);
    source_->setCurrentIndex(static_cast<int>(settings.source));
    topix_ = settings.topix;
    setWaitCursor(false);
    onStart();
    setWaitCursor(true);
}

void UpdateDialog::applyOutcome(const JobOutcome& o) {
    showOutcome(o, status_, progress_);
    if (onOutcome) onOutcome(status_->text(), progress_->value());
}

void UpdateDialog::jobEnded(const JobOutcome& last, bool) {
    if (last.state == JobState::Stopped && last.stopReason != JobOutcome::StopReason::Failed) start_->setEnabled(true);
    if (last.message) prompter().message(*last.message);
    if (onEnded) onEnded(last);
}

}  // namespace quarlink
