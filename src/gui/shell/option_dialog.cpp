#include "shell/option_dialog.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/qt_prompter.h"
#include "store/options.h"

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
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(pathRow);
    layout->addWidget(launch_);
    layout->addLayout(buttons);

    path_->setText(QFile::decodeName(QByteArray::fromStdString(app_.chartFolder)));
    launch_->setChecked(app_.launchChart == 1);

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
    accept();
}

}  // namespace quarlink
