#include "gui/jobs/splits_dialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/env/clock.h"
#include "core/store/folder_layout.h"
#include "core/store/index_flags.h"
#include "gui/jobs/job_status.h"

namespace quarlink {

namespace {
QString text(const char* utf8) { return QString::fromUtf8(utf8); }
QDate dateOf(std::int32_t yyyymmdd) { return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }
}  // namespace

SplitsDialog::SplitsDialog(Application& app, QWidget* parent, Prompter* prompter)
    : JobDialog(app, prompter, parent),
      job_(makeJob<SplitScanJob>(app, web().reader(), web().endpoints(), web().environment())) {
    using namespace stock_split_labels;
    setWindowTitle(text(kCaption));
    from_ = new QDateEdit;
    from_->setCalendarPopup(true);
    from_->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    status_ = makeStatusLine();
    fitStatusLine(status_, {split_scan_text::kDone, split_scan_text::kDaysToScan});
    progress_ = makeProgressBar();
    listLabel_ = new QLabel(text(kListLabel));
    list_ = new QListWidget;
    start_ = new QPushButton(text(kStartButton));
    stop_ = new QPushButton(text(kStopButton));
    write_ = new QPushButton(text(kWriteButton));
    close_ = new QPushButton(text(kCloseButton));
    start_->setDefault(true);
    // Enter never writes index.txt.
    write_->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->addRow(text(kFromLabel), from_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(text(kNote)));
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addWidget(listLabel_);
    layout->addWidget(list_);
    layout->addLayout(makeButtonRow({start_, stop_, write_, close_}));

    connect(start_, &QPushButton::clicked, this, &SplitsDialog::onStart);
    connect(stop_, &QPushButton::clicked, this, &SplitsDialog::onStop);
    connect(write_, &QPushButton::clicked, this, &SplitsDialog::onWrite);
    connect(close_, &QPushButton::clicked, this, &SplitsDialog::reject);

    applyOutcome(job_.open());
    const std::int32_t today = web().clock().japanNow().yyyymmdd();
    from_->setMaximumDate(dateOf(today));
    from_->setDate(dateOf(job_.defaultFrom()));
    stop_->setEnabled(false);
    write_->setEnabled(false);
    // A rate-limit wait happens inside a step, on the worker thread.
    job_.onWait = statusFromWorker(status_);
}

void SplitsDialog::onStart() {
    if (jobBusy()) return;
    // A stopped scan goes on from its day; any other start takes the date shown.
    if (!job_.resumable()) {
        const QDate d = from_->date();
        job_.settings.from = d.year() * 10000 + d.month() * 100 + d.day();
    }
    job_.action = SplitScanJob::Action::Scan;
    list_->clear();
    listLabel_->setText(text(stock_split_labels::kListLabel));
    for (QWidget* w : {static_cast<QWidget*>(from_), static_cast<QWidget*>(start_), static_cast<QWidget*>(write_)})
        w->setEnabled(false);
    stop_->setEnabled(true);
    runJob(SourceKind::JQuants);
}

void SplitsDialog::onStop() {
    haltJob();
    applyOutcome(job_.stop());
    start_->setEnabled(true);
    stop_->setEnabled(false);
    from_->setEnabled(!job_.resumable());
}

void SplitsDialog::onWrite() {
    if (jobBusy()) return;
    job_.action = SplitScanJob::Action::Write;
    const JobOutcome last = runToEnd(job_, prompter());
    applyOutcome(last);
    if (last.state != JobState::Finished) return;
    wrote_ = wrote_ || !job_.written().empty();
    showSplits(job_.written(), stock_split_labels::kWrittenLabel);
    write_->setEnabled(false);
}

void SplitsDialog::showSplits(const std::vector<CodeSplit>& splits, const char* label) {
    listLabel_->setText(text(label));
    list_->clear();
    for (const CodeSplit& s : splits) {
        std::string line = layout::codeName(s.code);
        if (const std::string name = job_.nameOf(s.code); !name.empty()) line += " " + name;
        list_->addItem(QString::fromStdString(line + "　" + splitText(s.split)));
    }
}

void SplitsDialog::applyOutcome(const JobOutcome& o) { showOutcome(o, status_, progress_); }

void SplitsDialog::jobEnded(const JobOutcome& last, bool) {
    stop_->setEnabled(false);
    start_->setEnabled(true);
    from_->setEnabled(!job_.resumable());
    if (last.state == JobState::Finished) {
        showSplits(job_.found(), stock_split_labels::kListLabel);
        write_->setEnabled(!job_.found().empty());
    }
    tellEnd(last);
}

}  // namespace quarlink
