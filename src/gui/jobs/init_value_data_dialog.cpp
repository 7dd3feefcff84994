#include "gui/jobs/init_value_data_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/jobs/job_labels.h"
#include "core/jobs/catch_up_job.h"
#include "core/store/number_text.h"
#include "gui/jobs/job_status.h"
#include "gui/jobs/source_choice.h"

namespace quarlink {

namespace {
QString text(const char* utf8) { return QString::fromUtf8(utf8); }
constexpr const char* kDialog = "init-data";
}  // namespace

InitValueDataDialog::InitValueDataDialog(Application& app, QWidget* parent, Prompter* prompter)
    : JobDialog(app, prompter, parent), job_(makeJob<InitDataJob>(app, web().reader(), web().environment(), web().endpoints())) {
    using namespace init_data_text;
    using namespace init_data_labels;
    setWindowTitle(text(kCaption));
    margin_ = new QCheckBox(text(kMarginLabel));
    nikkei_ = new QCheckBox(text(kNikkeiLabel));
    topix_ = new QCheckBox(text(kTopixLabel));
    source_ = new QComboBox;
    addSource(source_, SourceKind::Yahoo, kSource);
    addSource(source_, SourceKind::JQuants);
    year_ = new QComboBox;
    planNote_ = new QLabel;
    status_ = makeStatusLine();
    fitStatusLine(status_, {kCreateFinished, kErrorStatus, kFormatStatus, kInitialStatus});
    progress_ = makeProgressBar();
    create_ = new QPushButton(text(kCreateButton));
    transfer_ = new QPushButton(text(kTransferButton));
    delete_ = new QPushButton(text(kDeleteButton));
    stop_ = new QPushButton(text(kStopButton));
    cancel_ = new QPushButton(text(kCancelButton));

    auto* conditions = new QGroupBox(text(kConditionsLabel));
    auto* grid = new QGridLayout(conditions);
    grid->addWidget(new QLabel(text(kSourceLabel)), 0, 0);
    grid->addWidget(source_, 0, 1, 1, 2);
    grid->addWidget(new QLabel(text(kStartYearLabel)), 1, 0);
    grid->addWidget(year_, 1, 1);
    grid->addWidget(new QLabel(text(kYearLabel)), 1, 2);
    grid->addWidget(margin_, 2, 0, 1, 3);
    grid->addWidget(nikkei_, 3, 0, 1, 3);
    grid->addWidget(topix_, 4, 0, 1, 3);
    grid->addWidget(planNote_, 5, 0, 1, 3);
    grid->addWidget(new QLabel(text(kNote)), 6, 0, 1, 3);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {create_, transfer_, delete_, stop_, cancel_}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(conditions);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addLayout(buttons);

    connect(create_, &QPushButton::clicked, this, [this] { begin(Action::Create); });
    connect(transfer_, &QPushButton::clicked, this, [this] { begin(Action::Transfer); });
    connect(delete_, &QPushButton::clicked, this, [this] { begin(Action::Delete); });
    connect(stop_, &QPushButton::clicked, this, &InitValueDataDialog::onStop);
    connect(cancel_, &QPushButton::clicked, this, &InitValueDataDialog::reject);
    setCancelButton(cancel_);

    applyOutcome(job_.open());
    margin_->setChecked(job_.settings.margin);
    nikkei_->setChecked(job_.settings.nikkei);
    topix_->setChecked(job_.settings.topix);
    stop_->setEnabled(false);
    pickStartingSource(source_, app, kDialog, job_.settings.source);
    fitToSource();
    connect(source_, &QComboBox::currentIndexChanged, this, &InitValueDataDialog::fitToSource);
    // A J-Quants rate-limit wait happens inside a step, on the worker thread.
    job_.onWait = statusFromWorker(status_);
}

void InitValueDataDialog::fitToSource() {
    using namespace job_dialog_labels;
    const SourceKindFacts& source = kindFacts(chosenSource(source_));
    const JQuantsPlan plan = jquantsPlan(app_);
    offerChoice(nikkei_, source.hasNikkei ? nullptr : kNoNikkei);
    offerChoice(topix_, source.byPlan && !planFacts(plan).hasTopix ? kTopixFromLight : nullptr);

    // J-Quants reaches back as far as the plan does; the pages to 1990.
    std::vector<int> years = job_.startYears();
    planNote_->setVisible(source.byPlan);
    if (source.byPlan) {
        const PlanWindow window = jquantsPlanWindow(plan, web().clock().japanNow().yyyymmdd());
        std::erase_if(years, [&](int y) { return y < window.from / 10000 || y > window.to / 10000; });
        planNote_->setText(QString::asprintf(init_data_labels::kPlanNote, planFacts(plan).label,
                                             slashDate(window.from).c_str(), slashDate(window.to).c_str()));
    }
    const QString kept = year_->currentText();
    year_->clear();
    for (const int y : years) year_->addItem(QString::number(y));
    year_->setCurrentIndex(std::max(0, year_->findText(kept)));
}

void InitValueDataDialog::setSettingsEnabled(bool on) {
    for (QWidget* w : {static_cast<QWidget*>(margin_), static_cast<QWidget*>(nikkei_), static_cast<QWidget*>(topix_),
                       static_cast<QWidget*>(source_), static_cast<QWidget*>(year_)})
        w->setEnabled(on);
    if (on) fitToSource();
}

void InitValueDataDialog::settingsReopened() { setSettingsEnabled(true); }

void InitValueDataDialog::begin(Action action) {
    if (jobBusy()) return;
    if (!job_.settingsTaken()) {
        job_.settings.margin = margin_->isChecked();
        job_.settings.nikkei = chosen(nikkei_);
        job_.settings.topix = chosen(topix_);
        if (const int year = year_->currentText().toInt()) job_.settings.startYear = year;
        job_.settings.source = chosenSource(source_);
        rememberSource(app_, kDialog, job_.settings.source);
    }
    setSettingsEnabled(false);
    for (QWidget* w : {create_, delete_, transfer_}) w->setEnabled(false);
    stop_->setEnabled(true);
    switch (action) {
    case Action::Create: job_.action = InitDataJob::Mode::Create; break;
    case Action::Transfer: job_.action = InitDataJob::Mode::Transfer; break;
    case Action::Delete: job_.action = InitDataJob::Mode::Delete; break;
    }
    // Every create run first takes the calendar (from J-Quants the listed
    // codes and the bulk files' list too) before its first outcome.
    if (action == Action::Create) {
        const bool gathers = kindFacts(job_.settings.source).wholeMarket;
        setStatusText(status_, text(gathers ? init_data_labels::kPreparing : init_data_text::kCalendarStatus));
        progress_->setRange(0, 0);
    }
    runJob(job_.settings.source);
}

void InitValueDataDialog::onStop() {
    haltJob();
    progress_->setRange(0, 100);
    applyOutcome(job_.stop());
    modeEnded();
}

void InitValueDataDialog::modeEnded() {
    create_->setEnabled(true);
    delete_->setEnabled(true);
    transfer_->setEnabled(true);
    stop_->setEnabled(false);
}

void InitValueDataDialog::applyOutcome(const JobOutcome& o) {
    if (o.progress || o.state != JobState::Running) progress_->setRange(0, 100);
    showOutcome(o, status_, progress_);
}

void InitValueDataDialog::jobEnded(const JobOutcome& last, bool stoppedByRequest) {
    progress_->setRange(0, 100);
    modeEnded();
    tellEnd(last, stoppedByRequest);
}

}  // namespace quarlink
