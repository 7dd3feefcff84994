#include "gui/shell/about_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/shell/desktop_services.h"

namespace quarlink {
namespace {

QLineEdit* addressField(const char* text, QWidget* parent) {
    auto* field = new QLineEdit(QString::fromUtf8(text), parent);
    field->setReadOnly(true);
    field->setMinimumWidth(260);
    return field;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(about_text::kTitle));
    auto* icon = new QLabel(this);
    icon->setPixmap(appIcon().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);
    makerAddress_ = addressField(about_text::kMakerAddress, this);
    downloadAddress_ = addressField(about_text::kDownloadAddress, this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QString::fromUtf8(about_text::kVersion), this), 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("製作元：") + QString::fromUtf8(about_text::kMaker), this), 1, 0);
    grid->addWidget(makerAddress_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("最新版ダウンロード"), this), 2, 0);
    grid->addWidget(downloadAddress_, 2, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(grid, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

}  // namespace quarlink
