#include "gui/jobs/update_dialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/jobs/catch_up_job.h"
#include "gui/jobs/job_labels.h"
#include "core/jobs/update_job.h"
#include "gui/jobs/job_status.h"
#include "gui/jobs/source_choice.h"

namespace quarlink {

namespace {
constexpr const char* kDialog = "update";
}  // namespace

UpdateDialog::UpdateDialog(Application& app, QWidget* parent, Prompter* prompter) : JobDialog(app, prompter, parent) {
    const DailyUpdateSettings defaults;
    JobOutcome opened;
    job_ = &setJob(makeDailyUpdate(app, web(), defaults, &opened));
    setWindowTitle(QString::fromUtf8(update_labels::kCaption));
    margin_ = new QCheckBox(QString::fromUtf8(update_labels::kMarginLabel));
    indexOnly_ = new QCheckBox(QString::fromUtf8(update_labels::kIndexOnlyLabel));
    nikkei_ = new QCheckBox(QString::fromUtf8(update_labels::kNikkeiLabel));
    topix_ = new QCheckBox(QString::fromUtf8(update_labels::kTopixLabel));
    source_ = new QComboBox;
    for (const SourceKindFacts& f : kSourceKindFacts) addSource(source_, f.kind);
    status_ = makeStatusLine();
    fitStatusLine(status_, {update_text::kFinishedSkip, update_text::kProgress});
    progress_ = makeProgressBar();
    start_ = new QPushButton(QString::fromUtf8(update_labels::kStartButton));
    cancel_ = new QPushButton(QString::fromUtf8(update_labels::kCancelButton));
    start_->setDefault(true);

    QHBoxLayout* buttons = makeButtonRow({start_, cancel_});
    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : {static_cast<QWidget*>(margin_), static_cast<QWidget*>(indexOnly_),
                       static_cast<QWidget*>(nikkei_), static_cast<QWidget*>(topix_), static_cast<QWidget*>(source_),
                       static_cast<QWidget*>(status_), static_cast<QWidget*>(progress_)})
        layout->addWidget(w);
    layout->addLayout(buttons);

    connect(start_, &QPushButton::clicked, this, &UpdateDialog::onStart);
    connect(cancel_, &QPushButton::clicked, this, &UpdateDialog::reject);
    connect(source_, &QComboBox::currentIndexChanged, this, &UpdateDialog::fitToSource);
    setCancelButton(cancel_);

    // The bar names the code whose page is being fetched, not the last one.
    setBeforeTick([this] {
        if (const int position = job_->progressBeforeStep(); position >= 0) showProgressBeforeStep(progress_, position);
    });
    applyOutcome(opened);
    margin_->setChecked(defaults.margin);
    indexOnly_->setChecked(defaults.indexOnly);
    nikkei_->setChecked(defaults.nikkei);
    topix_->setChecked(defaults.topix);
    pickStartingSource(source_, app, kDialog, SourceKind::Yahoo);
    fitToSource();
}

void UpdateDialog::fitToSource() {
    const SourceKindFacts& source = kindFacts(chosenSource(source_));
    offerChoice(nikkei_, source.hasNikkei ? nullptr : job_dialog_labels::kNoNikkei);
    offerChoice(topix_, !source.hasTopix ? job_dialog_labels::kTopixJQuantsOnly
                        : source.byPlan && !planFacts(jquantsPlan(app_)).hasTopix ? job_dialog_labels::kTopixFromLight
                                                                                  : nullptr);
}

void UpdateDialog::setSettingsEnabled(bool on) {
    for (QWidget* w : {static_cast<QWidget*>(margin_), static_cast<QWidget*>(indexOnly_),
                       static_cast<QWidget*>(nikkei_), static_cast<QWidget*>(topix_), static_cast<QWidget*>(source_),
                       static_cast<QWidget*>(start_)})
        w->setEnabled(on);
    if (on) fitToSource();
}

void UpdateDialog::settingsReopened() { setSettingsEnabled(true); }

void UpdateDialog::onStart() {
    if (jobBusy()) return;
    // The settings are taken at the first start; after a stop they stay disabled and unchanged.
    if (!job_->settingsTaken()) {
        DailyUpdateSettings settings;
        settings.source = chosenSource(source_);
        settings.margin = margin_->isChecked();
        settings.indexOnly = indexOnly_->isChecked();
        settings.nikkei = chosen(nikkei_);
        settings.topix = chosen(topix_);
        rememberSource(app_, kDialog, settings.source);
        job_ = &setJob(makeDailyUpdate(app_, web(), settings));
        // A rate-limit wait happens inside a step, on the worker thread.
        job_->onWait = [this](const std::string& line) {
            QMetaObject::invokeMethod(
                this, [this, text = QString::fromStdString(line)] { setStatusText(status_, text); },
                Qt::QueuedConnection);
        };
    }
    setSettingsEnabled(false);
    runJob(chosenSource(source_));
}

void UpdateDialog::showRun(std::unique_ptr<WebSession> web, std::unique_ptr<Job> job,
                           const DailyUpdateSettings& settings, const JobOutcome& last, const QString& status,
                           int progress) {
    job_ = &adoptRun(std::move(web), std::move(job));
    job_->onWait = [this](const std::string& line) {
        QMetaObject::invokeMethod(
            this, [this, text = QString::fromStdString(line)] { setStatusText(status_, text); }, Qt::QueuedConnection);
    };
    margin_->setChecked(settings.margin);
    indexOnly_->setChecked(settings.indexOnly);
    nikkei_->setChecked(settings.nikkei);
    topix_->setChecked(settings.topix);
    source_->setCurrentIndex(source_->findData(int(settings.source)));
    setSettingsEnabled(false);
    setStatusText(status_, status);
    progress_->setValue(progress);
    if (last.state == JobState::Stopped && last.stopReason != JobOutcome::StopReason::Failed) start_->setEnabled(true);
    if (last.state == JobState::Finished) cancel_->setText(QString::fromUtf8(job_dialog_labels::kCloseButton));
}

void UpdateDialog::applyOutcome(const JobOutcome& o) { showOutcome(o, status_, progress_); }

void UpdateDialog::jobEnded(const JobOutcome& last, bool) {
    if (last.state == JobState::Stopped && last.stopReason != JobOutcome::StopReason::Failed) start_->setEnabled(true);
    tellEnd(last);
}

}  // namespace quarlink
