#include "gui/jobs/data_check_dialog.h"

#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/health/check_report.h"
#include "gui/jobs/job_labels.h"
#include "gui/jobs/job_status.h"
#include "core/store/atomic_file.h"

namespace quarlink {
namespace {

// The column of what 修復 does to each finding (job_labels.h is the place for it).
constexpr const char* kRepairColumn = "修復";

const Clock& systemClock() {
    static const SystemClock clock;
    return clock;
}

QPushButton* button(QWidget* parent, const char* text, const char* name) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

}  // namespace

DataCheckDialog::DataCheckDialog(Application& app, QWidget* parent, Prompter* prompter)
    : JobDialog(app, prompter, parent),
      job_(makeJob<DataCheckJob>(app, systemClock())),
      lock_(app.workDir, "quarlink", app.chartFolder) {
    using namespace data_check_labels;
    setWindowTitle(QString::fromUtf8(kCaption));
    setModal(true);
    findings_ = new QTreeWidget(this);
    findings_->setObjectName(QStringLiteral("findings"));
    findings_->setRootIsDecorated(false);
    findings_->setUniformRowHeights(true);
    findings_->setColumnCount(4);
    findings_->setHeaderLabels({QString::fromUtf8(kCodeColumn), QString::fromUtf8(kWhatColumn),
                                QString::fromUtf8(kDatesColumn), QString::fromUtf8(kRepairColumn)});
    // Read as the CLI prints it: code, what, repair, dates.
    findings_->header()->moveSection(3, 2);
    findings_->setColumnWidth(0, 60);
    findings_->setColumnWidth(1, 360);
    findings_->setColumnWidth(3, 130);
    status_ = makeStatusLine(this);
    progress_ = makeProgressBar(this);
    check_ = button(this, kCheckButton, "checkButton");
    repair_ = button(this, kRepairButton, "repairButton");
    save_ = button(this, kSaveButton, "saveButton");
    close_ = button(this, kCloseButton, "closeButton");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(findings_, 1);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addLayout(makeButtonRow({check_, repair_, save_, close_}));
    resize(760, 480);

    connect(check_, &QPushButton::clicked, this, [this] { startCheck(false); });
    connect(repair_, &QPushButton::clicked, this, [this] { startCheck(true); });
    connect(save_, &QPushButton::clicked, this, &DataCheckDialog::onSave);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    applyOutcome(job_.open());
    repair_->setEnabled(false);
    save_->setEnabled(false);
}

void DataCheckDialog::showEvent(QShowEvent* event) {
    JobDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        startCheck(false);
    }
}

void DataCheckDialog::startCheck(bool repair) {
    if (jobBusy()) return;
    // A repair writes: it waits for no other writer, it asks.
    if (repair) {
        while (!lock_.tryAcquire())
            if (!prompter().askYesNo(lock_.busyMessage() + "\n" + data_check_labels::kRetryQuestion)) return;
    }
    applyOutcome(job_.open());
    job_.settings.repair = repair;
    // A repair checks again first; until its question the last findings stay in view.
    if (!repair) findings_->clear();
    setRunning(true);
    runJob();
}

void DataCheckDialog::setRunning(bool running) {
    check_->setEnabled(!running);
    repair_->setEnabled(false);
    save_->setEnabled(!running);
}

void DataCheckDialog::applyOutcome(const JobOutcome& outcome) {
    showOutcome(outcome, status_, progress_);
    // The question is asked next, while the worker waits: the user sees what it is about.
    if (outcome.question) showFindings();
}

bool DataCheckDialog::showFindings() {
    findings_->clear();
    bool fixable = false;
    QList<QTreeWidgetItem*> items;
    for (const Finding& f : job_.findings()) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::fromStdString(findingCodeText(f)));
        item->setText(1, QString::fromStdString(findingWhatText(f)));
        item->setText(2, QString::fromStdString(findingDatesText(f)));
        item->setText(3, QString::fromStdString(findingRepairText(f)));
        items << item;
        fixable = fixable || (findingFixable(f.kind) && !f.repaired);
    }
    findings_->addTopLevelItems(items);
    return fixable;
}

void DataCheckDialog::jobEnded(const JobOutcome& last, bool /*stoppedByRequest*/) {
    lock_.release();
    setRunning(false);
    repair_->setEnabled(showFindings());
    tellEnd(last);
}

bool DataCheckDialog::saveReport(const QString& path) {
    std::string error;
    if (replaceFileAtomically(QFile::encodeName(path).toStdString(), checkReportText(job_), &error)) return true;
    tell(prompter(), MessageLevel::Critical, error);
    return false;
}

void DataCheckDialog::onSave() {
    const QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8(data_check_labels::kSaveCaption),
                                                      QStringLiteral("data-check.txt"),
                                                      QStringLiteral("Text (*.txt)"));
    if (!path.isEmpty()) saveReport(path);
}

}  // namespace quarlink
