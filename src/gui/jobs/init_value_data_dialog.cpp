#include "gui/jobs/init_value_data_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/jobs/job_labels.h"
#include "core/jobs/catch_up_job.h"
#include "gui/jobs/job_status.h"

namespace quarlink {

namespace {
QString text(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

InitValueDataDialog::InitValueDataDialog(Application& app, QWidget* parent, Prompter* prompter)
    : JobDialog(app, prompter, parent), job_(makeJob<InitDataJob>(app, web().reader(), web().clock(), web().endpoints())) {
    using namespace init_data_text;
    using namespace init_data_labels;
    setWindowTitle(text(kCaption));
    margin_ = new QCheckBox(text(kMarginLabel));
    nikkei_ = new QCheckBox(text(kNikkeiLabel));
    topix_ = new QCheckBox(text(kTopixLabel));
    source_ = new QComboBox;
    source_->addItem(text(kSource), int(SourceKind::Yahoo));
    source_->addItem(text(catch_up_text::kSource), int(SourceKind::JQuants));
    year_ = new QComboBox;
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
    grid->addWidget(new QLabel(text(kNote)), 5, 0, 1, 3);

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

    applyOutcome(job_.open());
    for (const int y : job_.startYears()) year_->addItem(QString::number(y));
    year_->setCurrentIndex(0);
    margin_->setChecked(job_.settings.margin);
    nikkei_->setChecked(job_.settings.nikkei);
    topix_->setChecked(job_.settings.topix);
    stop_->setEnabled(false);
    // A J-Quants rate-limit wait happens inside a step, on the worker thread.
    job_.onWait = statusFromWorker(status_);
}

void InitValueDataDialog::begin(Action action) {
    if (jobBusy()) return;
    if (!job_.settingsTaken()) {
        job_.settings.margin = margin_->isChecked();
        job_.settings.nikkei = nikkei_->isChecked();
        job_.settings.topix = topix_->isChecked();
        job_.settings.startYear = 1990 + std::max(0, year_->currentIndex());
        job_.settings.source = static_cast<SourceKind>(source_->currentData().toInt());
    }
    for (QWidget* w : {static_cast<QWidget*>(margin_), static_cast<QWidget*>(nikkei_),
                       static_cast<QWidget*>(topix_), static_cast<QWidget*>(source_), static_cast<QWidget*>(year_),
                       static_cast<QWidget*>(create_), static_cast<QWidget*>(delete_),
                       static_cast<QWidget*>(transfer_)})
        w->setEnabled(false);
    stop_->setEnabled(true);
    switch (action) {
    case Action::Create: job_.action = InitDataJob::Mode::Create; break;
    case Action::Transfer: job_.action = InitDataJob::Mode::Transfer; break;
    case Action::Delete: job_.action = InitDataJob::Mode::Delete; break;
    }
    runJob();
}

void InitValueDataDialog::onStop() {
    haltJob();
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
    showOutcome(o, status_, progress_);
}

void InitValueDataDialog::jobEnded(const JobOutcome& last, bool) {
    modeEnded();
    if (last.message) prompter().message(*last.message);
}

}  // namespace quarlink
