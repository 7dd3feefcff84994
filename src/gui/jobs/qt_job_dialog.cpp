#include "jobs/qt_job_dialog.h"

#include <QApplication>

namespace quarlink {

JobDialogBase::JobDialogBase(Application& app, QWidget* parent)
    : QDialog(parent), app_(app), web_(app), qtPrompter_(this), prompter_(&qtPrompter_) {
    connect(&runner_, &JobRunner::outcome, this, [this](const JobOutcome& o) {
        if (!halting_) applyOutcome(o);
    });
    connect(&runner_, &JobRunner::finished, this, [this](const JobOutcome& last, bool) {
        QApplication::restoreOverrideCursor();
        if (!halting_) jobEnded(last);
    });
}

JobDialogBase::~JobDialogBase() { haltJob(); }

void JobDialogBase::runJob(JobRunner::Step start, JobRunner::Step tick) {
    web_.resetAbort();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    runner_.run(std::move(start), std::move(tick));
}

void JobDialogBase::haltJob() {
    if (!runner_.busy()) return;
    halting_ = true;
    web_.abort();
    runner_.waitForIdle();
    web_.resetAbort();
    halting_ = false;
}

void JobDialogBase::reject() {
    haltJob();
    QDialog::reject();
}

}  // namespace quarlink
