#include "gui/common/qt_prompter.h"

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

// Messages quote file names and bytes from files and servers: always plain
// text, so that a "<b>" or "<img>" in them is shown, never rendered.
QMessageBox::StandardButton ask(QWidget* parent, QMessageBox::Icon icon, const std::string& text,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton byDefault) {
    QMessageBox box(icon, kTitle, boxText(text), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(byDefault);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void QtPrompter::message(const std::string& text) { message(MessageLevel::Information, text); }

void QtPrompter::message(MessageLevel level, const std::string& text) {
    const QMessageBox::Icon icon = level == MessageLevel::Critical  ? QMessageBox::Critical
                                   : level == MessageLevel::Warning ? QMessageBox::Warning
                                                                    : QMessageBox::Information;
    ask(parent_, icon, text, QMessageBox::Ok, QMessageBox::Ok);
}

void tell(Prompter& prompter, MessageLevel level, const std::string& text) {
    if (auto* boxes = dynamic_cast<QtPrompter*>(&prompter)) boxes->message(level, text);
    else prompter.message(text);
}

bool QtPrompter::askYesNo(const std::string& text) {
    return ask(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

Prompter::Answer QtPrompter::askYesNoCancel(const std::string& text) {
    switch (ask(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                QMessageBox::Cancel)) {
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
