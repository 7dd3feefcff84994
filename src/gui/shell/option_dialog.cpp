#include "gui/shell/option_dialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QTimeEdit>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/jobs/catch_up_job.h"
#include "gui/jobs/job_labels.h"
#include "core/schedule/systemd_timer.h"
#include "gui/common/qt_prompter.h"
#include "core/store/options.h"

namespace quarlink {

OptionDialog::OptionDialog(Application& app, QWidget* parent, Prompter* prompter)
    : QDialog(parent), app_(app), prompter_(prompter) {
    if (!prompter_) {
        ownPrompter_ = std::make_unique<QtPrompter>(this);
        prompter_ = ownPrompter_.get();
    }
    picker_ = [](QWidget* p) { return QFileDialog::getExistingDirectory(p, QString::fromUtf8(kFolderPickerCaption), QString()); };

    setWindowTitle(QStringLiteral("オプション"));
    auto* label = new QLabel(QStringLiteral("Sorvantideフォルダへのパス"), this);
    path_ = new QLineEdit(this);
    path_->setMinimumWidth(320);
    browse_ = new QPushButton(QStringLiteral("参照..."), this);
    browse_->setAutoDefault(false);
    launch_ = new QCheckBox(QStringLiteral("Quarlink起動時にSorvantideを同時に起動"), this);
    save_ = new QPushButton(QStringLiteral("保存"), this);
    save_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_->setAutoDefault(false);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path_, 1);
    pathRow->addWidget(browse_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(cancel_);
    // The scheduled daily update, kept in schedule.conf so that Quarlink.conf keeps its format.
    schedule_ = new QGroupBox(QString::fromUtf8(schedule_text::kSection), this);
    schedule_->setCheckable(true);
    time_ = new QTimeEdit(schedule_);
    time_->setDisplayFormat(QStringLiteral("HH:mm"));
    source_ = new QComboBox(schedule_);
    source_->addItem(QString::fromUtf8(update_labels::kSourceInfoSeek));
    source_->addItem(QString::fromUtf8(update_labels::kSourceYahoo));
    source_->addItem(QString::fromUtf8(catch_up_text::kSource));
    auto* form = new QFormLayout(schedule_);
    form->addRow(QString::fromUtf8(schedule_text::kTimeLabel), time_);
    form->addRow(QString::fromUtf8(schedule_text::kSourceLabel), source_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(pathRow);
    layout->addWidget(launch_);
    layout->addWidget(schedule_);
    layout->addLayout(buttons);

    path_->setText(QFile::decodeName(QByteArray::fromStdString(app_.chartFolder)));
    launch_->setChecked(app_.launchChart == 1);
    const LoadedSchedule loaded = loadSchedule(app_.workDir);
    if (!loaded.problem.empty()) prompter_->message(loaded.problem);
    scheduled_ = loaded.settings;
    schedule_->setChecked(scheduled_.enabled);
    time_->setTime(QTime(scheduled_.hour, scheduled_.minute));
    source_->setCurrentIndex(static_cast<int>(scheduled_.source));

    connect(browse_, &QPushButton::clicked, this, &OptionDialog::browse);
    connect(save_, &QPushButton::clicked, this, &OptionDialog::save);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

OptionDialog::~OptionDialog() = default;

void OptionDialog::browse() {
    const QString folder = picker_(this);
    if (!folder.isEmpty()) path_->setText(folder);
}

void OptionDialog::save() {
    saveOptions(app_, QFile::encodeName(path_->text()).toStdString(), launch_->isChecked(), *prompter_);
    ScheduleSettings s = scheduled_;
    s.enabled = schedule_->isChecked();
    s.hour = time_->time().hour();
    s.minute = time_->time().minute();
    s.source = static_cast<ScheduleSource>(source_->currentIndex());
    // The schedule counts from when it is switched on: a time already past
    // today is not run at once.
    if (s.enabled && !scheduled_.enabled) s.lastRun = std::max(s.lastRun, minuteStamp(SystemClock().now()));
    // A run recorded by quarlink-cli meanwhile stays recorded.
    s.lastRun = std::max(s.lastRun, loadSchedule(app_.workDir).settings.lastRun);
    if (formatSchedule(s) != formatSchedule(scheduled_)) {
        if (std::string error; !saveSchedule(app_.workDir, s, error)) prompter_->message(schedule_text::kSaveFailed + error);
        // A systemd timer set up with quarlink-cli keeps the same time.
        const SystemdSchedule::Result timer =
            SystemdSchedule(app_.workDir, false, userUnitFolder(), runSystemctl()).followTime(s);
        if (!timer.ok) prompter_->message(schedule_text::kTimerNotFollowed + timer.err);
    }
    accept();
}

}  // namespace quarlink
