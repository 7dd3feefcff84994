#include "gui/shell/option_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTimeEdit>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/common/qt_prompter.h"
#include "gui/shell/jquants_options.h"
#include "gui/shell/schedule_options.h"
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
    schedule_ = new ScheduleOptions(this);

    jquants_ = new JQuantsOptions(app_, *prompter_, this, systemEnvironment());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(pathRow);
    layout->addWidget(launch_);
    layout->addWidget(jquants_);
    layout->addWidget(schedule_);
    layout->addLayout(buttons);

    path_->setText(QFile::decodeName(QByteArray::fromStdString(app_.chartFolder)));
    launch_->setChecked(app_.launchChart == 1);
    if (const std::string problem = schedule_->loadFrom(app_); !problem.empty()) prompter_->message(problem);

    connect(browse_, &QPushButton::clicked, this, &OptionDialog::browse);
    connect(save_, &QPushButton::clicked, this, &OptionDialog::save);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

OptionDialog::~OptionDialog() = default;

QTimeEdit* OptionDialog::scheduleTime() const { return schedule_->timeEdit(); }
QComboBox* OptionDialog::scheduleSource() const { return schedule_->sourceList(); }

void OptionDialog::browse() {
    const QString folder = picker_(this);
    if (!folder.isEmpty()) path_->setText(folder);
}

void OptionDialog::save() {
    // Refused before anything is written, so the user can mend it here.
    if (schedule_->isChecked() && kindFacts(schedule_->settings().source).needsKey) {
        if (std::string why; !jquants_->keyUsable(why)) {
            prompter_->message(option_text::kJQuantsNeedsKey + why);
            return;
        }
    }
    if (const std::string why = schedule_->validate(); !why.empty()) {
        prompter_->message(why);
        return;
    }
    if (std::string error; !jquants_->apply(error)) {
        prompter_->message(error);
        return;
    }
    saveOptions(app_, QFile::encodeName(path_->text()).toStdString(), launch_->isChecked(), *prompter_);
    schedule_->save(app_, SystemClock::instance(), *prompter_);
    accept();
}

}  // namespace quarlink
