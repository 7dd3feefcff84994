#include "gui/jobs/job_status.h"

#include <QFontMetrics>
#include <algorithm>

namespace quarlink {

QLineEdit* makeStatusLine(QWidget* parent) {
    auto* status = new QLineEdit(parent);
    status->setObjectName(QStringLiteral("status"));
    status->setReadOnly(true);
    return status;
}

QProgressBar* makeProgressBar(QWidget* parent) {
    auto* progress = new QProgressBar(parent);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setRange(0, 100);
    progress->setValue(0);
    return progress;
}

QHBoxLayout* makeButtonRow(std::initializer_list<QWidget*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QWidget* button : buttons) row->addWidget(button);
    return row;
}

void showOutcome(const JobOutcome& outcome, QLineEdit* status, QProgressBar* progress) {
    if (outcome.status) setStatusText(status, QString::fromStdString(*outcome.status));
    if (outcome.progress) progress->setValue(*outcome.progress);
}

void setStatusText(QLineEdit* status, const QString& text) {
    status->setText(text);
    // A line edit scrolls to its cursor, the end: a long text would show only its tail.
    status->setCursorPosition(0);
    status->setToolTip(text);
}

void fitStatusLine(QLineEdit* status, std::initializer_list<const char*> texts) {
    int widest = 0;
    for (const char* text : texts)
        widest = std::max(widest, status->fontMetrics().horizontalAdvance(QString::fromUtf8(text)));
    // The frame and the text margins of the line edit.
    status->setMinimumWidth(std::max(status->minimumWidth(), widest + 16));
}

void showProgressBeforeStep(QProgressBar* progress, int value) {
    // Called on the worker as a step begins; the bar belongs to the GUI thread.
    QMetaObject::invokeMethod(progress, [progress, value] { progress->setValue(value); }, Qt::QueuedConnection);
}

std::function<void(const std::string&)> statusFromWorker(QLineEdit* status) {
    return [status](const std::string& line) {
        QMetaObject::invokeMethod(
            status, [status, text = QString::fromStdString(line)] { setStatusText(status, text); },
            Qt::QueuedConnection);
    };
}

}  // namespace quarlink
