#include "gui/jobs/job_dialog.h"

#include <QApplication>
#include <iostream>

#include "core/web/jquants/jquants_key.h"
#include "gui/jobs/job_labels.h"

namespace quarlink {

JobDialog::JobDialog(Application& app, Prompter* prompter, QWidget* parent)
    : QDialog(parent), app_(app), qtPrompter_(this), prompter_(prompter ? prompter : &qtPrompter_) {
    connect(&runner_, &JobRunner::outcome, this, [this](const JobOutcome& o) {
        ++runOutcomes_;
        if (!halting_) applyOutcome(o);
    });
    connect(&runner_, &JobRunner::finished, this, [this](const JobOutcome& last, bool stoppedByRequest) {
        if (cursorSet_) QApplication::restoreOverrideCursor();
        cursorSet_ = false;
        if (halting_) return;
        refused_ = !stoppedByRequest && (last.state == JobState::Idle ||
                                         (last.state == JobState::Stopped && freshStart_ && runOutcomes_ == 1));
        if (refused_ && job_->settingsTaken()) {
            applyOutcome(job_->open());
            if (last.status) applyOutcome(last);
        }
        if (refused_) settingsReopened();
        if (cancel_ && last.state == JobState::Finished)
            cancel_->setText(QString::fromUtf8(job_dialog_labels::kCloseButton));
        jobEnded(last, stoppedByRequest);
    });
}

JobDialog::~JobDialog() { haltJob(); }

WebSession& JobDialog::web() {
    if (!web_) {
        web_ = std::make_unique<WebSession>(app_, systemEnvironment());
        // The page client's error lines, on the terminal the program was started from.
        web_->reportFetchErrors([](const std::string& text) { std::cerr << "Error: " << text << '\n' << std::flush; });
    }
    return *web_;
}

void JobDialog::runJob(std::optional<SourceKind> source) {
    if (!job_ || runner_.busy()) return;
    runSource_ = source;
    freshStart_ = !job_->settingsTaken();
    runOutcomes_ = 0;
    refused_ = false;
    if (cancel_) cancel_->setText(QString::fromUtf8(job_dialog_labels::kCancelButton));
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

void JobDialog::tellEnd(const JobOutcome& last, bool stoppedByRequest) {
    if (!last.message) return;
    using Reason = JobOutcome::StopReason;
    MessageLevel level = MessageLevel::Information;
    std::string text = *last.message;
    if (refused_) {
        level = MessageLevel::Warning;
        // A job's refusal says what to change; the key's place is the options'.
        if (runSource_ && kindFacts(*runSource_).needsKey && !jquants::loadApiKey(app_.workDir).ok())
            text += std::string("\n") + job_dialog_labels::kKeyHint;
    } else if (last.state == JobState::Stopped && !stoppedByRequest) {
        // A broken connection is worth another try; a failed file or an unknown page is not.
        if (last.stopReason == Reason::Connection) level = MessageLevel::Warning;
        else if (last.stopReason != Reason::None) level = MessageLevel::Critical;
    }
    tell(*prompter_, level, text);
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
