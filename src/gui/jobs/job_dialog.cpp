#include "gui/jobs/job_dialog.h"

#include <QApplication>
#include <iostream>

namespace quarlink {

JobDialog::JobDialog(Application& app, Prompter* prompter, QWidget* parent)
    : QDialog(parent), app_(app), qtPrompter_(this), prompter_(prompter ? prompter : &qtPrompter_) {
    connect(&runner_, &JobRunner::outcome, this, [this](const JobOutcome& o) {
        if (!halting_) applyOutcome(o);
    });
    connect(&runner_, &JobRunner::finished, this, [this](const JobOutcome& last, bool stoppedByRequest) {
        if (cursorSet_) QApplication::restoreOverrideCursor();
        cursorSet_ = false;
        if (!halting_) jobEnded(last, stoppedByRequest);
    });
}

JobDialog::~JobDialog() { haltJob(); }

WebSession& JobDialog::web() {
    if (!web_) {
        web_ = std::make_unique<WebSession>(app_);
        // The page client's error lines, on the terminal the program was started from.
        web_->reportFetchErrors([](const std::string& text) { std::cerr << "Error: " << text << '\n' << std::flush; });
    }
    return *web_;
}

void JobDialog::runJob() {
    if (!job_ || runner_.busy()) return;
    // A network job waits on pages; a file job shows its own progress.
    if (web_) {
        web_->resetAbort();
        if (waitCursor_ && !cursorSet_) QApplication::setOverrideCursor(Qt::WaitCursor);
        cursorSet_ = cursorSet_ || waitCursor_;
    }
    Job* job = job_.get();
    runner_.run([job] { return job->start(); },
                [job, hook = beforeTick_] {
                    if (hook) hook();
                    return job->tick();
                },
                [job](bool yes) { return job->answer(yes); },
                [this](const std::string& question) { return prompter_->askYesNo(question); });
}

void JobDialog::haltJob() {
    if (!runner_.busy()) return;
    halting_ = true;
    if (web_) web_->abort();
    if (job_) job_->abort();
    runner_.waitForIdle();
    if (web_) web_->resetAbort();
    halting_ = false;
}

void JobDialog::done(int result) {
    haltJob();
    QDialog::done(result);
}

}  // namespace quarlink
