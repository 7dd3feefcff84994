#include "shell/qt_prompter.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

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

bool installQtJapanese() {
    // Owned by the application, which outlives every dialog.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace quarlink
