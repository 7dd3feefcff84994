#include "shell/qt_prompter.h"

#include <QMessageBox>

namespace quarlink {
namespace {

QString boxText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

const QString kTitle = QStringLiteral("Quarlink");

}  // namespace

void QtPrompter::message(const std::string& text) {
    QMessageBox::information(parent_, kTitle, boxText(text));
}

bool QtPrompter::askYesNo(const std::string& text) {
    return QMessageBox::question(parent_, kTitle, boxText(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

Prompter::Answer QtPrompter::askYesNoCancel(const std::string& text) {
    switch (QMessageBox::question(parent_, kTitle, boxText(text),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel)) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
    }
}

}  // namespace quarlink
