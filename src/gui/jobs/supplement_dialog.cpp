#include "gui/jobs/supplement_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/jobs/job_labels.h"
#include "gui/jobs/job_status.h"

namespace quarlink {

SupplementDialog::SupplementDialog(Application& app, QWidget* parent, Prompter* prompter)
    : JobDialog(app, prompter, parent), job_(makeJob<SupplementJob>(app)) {
    using namespace supplement_text;
    using namespace supplement_labels;
    setWindowTitle(QString::fromUtf8(kTitle));
    setModal(true);

    overwrite_ = new QCheckBox(QString::fromUtf8(kOverwrite), this);
    overwrite_->setObjectName(QStringLiteral("overwrite"));
    sourceKind_ = new QComboBox(this);
    sourceKind_->setObjectName(QStringLiteral("sourceKind"));
    for (const char* kind : kSourceKinds) sourceKind_->addItem(QString::fromUtf8(kind));
    folder_ = new QLineEdit(this);
    folder_->setObjectName(QStringLiteral("folder"));
    browse_ = new QPushButton(QStringLiteral("..."), this);
    browse_->setObjectName(QStringLiteral("browseButton"));
    status_ = makeStatusLine(this);
    status_->setMinimumWidth(360);
    fitStatusLine(status_, {"補完完了：処理ファイル数 9999 キャンセルボタンで終了"});
    progress_ = makeProgressBar(this);
    start_ = new QPushButton(QString::fromUtf8(kStart), this);
    start_->setObjectName(QStringLiteral("startButton"));
    stop_ = new QPushButton(QString::fromUtf8(kStop), this);
    stop_->setObjectName(QStringLiteral("stopButton"));
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));

    auto* source = new QGridLayout;
    auto* sourceLabel = new QLabel(QString::fromUtf8(kSourceLabel), this);
    sourceLabel->setBuddy(sourceKind_);
    source->addWidget(sourceLabel, 0, 0);
    source->addWidget(sourceKind_, 0, 1, 1, 2);
    source->addWidget(folder_, 1, 0, 1, 2);
    source->addWidget(browse_, 1, 2);
    QHBoxLayout* buttons = makeButtonRow({start_, stop_, cancel_});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(overwrite_);
    layout->addLayout(source);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addLayout(buttons);

    connect(sourceKind_, &QComboBox::currentIndexChanged, this, [this] {
        takeMembers();
        showSourceKind();
    });
    connect(browse_, &QPushButton::clicked, this, &SupplementDialog::onBrowse);
    connect(start_, &QPushButton::clicked, this, &SupplementDialog::onStart);
    connect(stop_, &QPushButton::clicked, this, &SupplementDialog::onStop);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    setCancelButton(cancel_);

    applyOutcome(job_.open());
    overwrite_->setChecked(job_.settings.overwrite);
    sourceKind_->setCurrentIndex(static_cast<int>(job_.settings.sourceKind));
    stop_->setEnabled(false);
    showSourceKind();
}

void SupplementDialog::takeMembers() {
    if (job_.settingsTaken()) return;  // a resume keeps the source and overwrite setting
    job_.settings.overwrite = overwrite_->isChecked();
    job_.settings.sourceKind = static_cast<SupplementJob::SourceKind>(sourceKind_->currentIndex());
    job_.settings.folderText = QFile::encodeName(folder_->text()).toStdString();
}

void SupplementDialog::showSourceKind() {
    const bool folderKind =
        static_cast<SupplementJob::SourceKind>(sourceKind_->currentIndex()) == SupplementJob::SourceKind::Folder &&
        !job_.settingsTaken();
    folder_->setEnabled(folderKind);
    browse_->setEnabled(folderKind);
}

void SupplementDialog::onBrowse() {
    const QString picked = QFileDialog::getExistingDirectory(this, QString::fromUtf8(kFolderPickerCaption), folder_->text());
    if (!picked.isEmpty()) folder_->setText(picked);
}

void SupplementDialog::onStart() {
    if (jobBusy()) return;
    takeMembers();
    stopping_ = false;
    start_->setEnabled(false);
    runJob();
}

void SupplementDialog::onStop() {
    // Acts at once: no further tick starts; the stopped state is shown as
    // soon as the one in flight has finished its file.
    stopping_ = true;
    stop_->setEnabled(false);
    stopJob();
}

void SupplementDialog::setRunning(bool running) {
    start_->setEnabled(!running);
    stop_->setEnabled(running);
}

void SupplementDialog::applyOutcome(const JobOutcome& outcome) {
    showOutcome(outcome, status_, progress_);
    if (outcome.state == JobState::Running && job_.settingsTaken() && sourceKind_->isEnabled()) {
        // The settings stay disabled until the dialog is opened anew, so a
        // resume uses the same source and overwrite setting.
        overwrite_->setEnabled(false);
        sourceKind_->setEnabled(false);
        showSourceKind();
    }
    if (outcome.state == JobState::Running && !stopping_ && !stop_->isEnabled()) setRunning(true);
}

void SupplementDialog::jobEnded(const JobOutcome& last, bool stoppedByRequest) {
    if (stoppedByRequest) {
        applyOutcome(job_.stop());
        setRunning(false);
        return;
    }
    setRunning(false);
    tellEnd(last);
}

}  // namespace quarlink
