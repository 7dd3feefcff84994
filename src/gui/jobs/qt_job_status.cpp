#include "jobs/qt_job_status.h"

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

void showOutcome(const JobOutcome& outcome, QLineEdit* status, QProgressBar* progress) {
    if (outcome.status) status->setText(QString::fromStdString(*outcome.status));
    if (outcome.progress) progress->setValue(*outcome.progress);
}

}  // namespace quarlink
