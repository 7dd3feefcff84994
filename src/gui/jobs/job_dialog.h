#pragma once
#include <QDialog>
#include <QPushButton>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "core/jobs/job.h"
#include "gui/jobs/job_runner.h"
#include "core/jobs/web_session.h"
#include "gui/common/qt_prompter.h"
#include "core/sources/source_kind.h"
#include "core/store/application.h"

namespace quarlink {

// What every job dialog shares: it owns its job, the web session the job may
// read through, and the worker thread that runs the job's steps; messages
// and questions go to the prompter given at construction (message boxes when
// none is). Closing the dialog, or destroying it, halts the job first (the
// fetch in flight is aborted, the step in flight is waited for), so no
// subclass has a job to stop in its own destructor.
//
// A start the job refuses (Idle, or a fresh start that stops before its
// first step) leaves nothing done: the job is opened again, so that the user
// can change the settings and start anew without reopening the dialog.
class JobDialog : public QDialog {
    Q_OBJECT
public:
    JobDialog(Application& app, Prompter* prompter, QWidget* parent);
    ~JobDialog() override;

    bool jobBusy() const { return runner_.busy(); }
    void done(int result) override;

protected:
    // Creates the dialog's job; the subclass keeps the returned reference.
    template <class J, class... Args>
    J& makeJob(Args&&... args) {
        auto job = std::make_unique<J>(std::forward<Args>(args)...);
        J& typed = *job;
        job_ = std::move(job);
        return typed;
    }
    // Takes a job made by the core's factory, in place of the one before.
    Job& setJob(std::unique_ptr<Job> job) {
        job_ = std::move(job);
        return *job_;
    }
    // Takes over a run made without a window (the scheduled update's): its
    // web session and the job that reads through it.
    Job& adoptRun(std::unique_ptr<WebSession> web, std::unique_ptr<Job> job) {
        job_.reset();
        web_ = std::move(web);
        job_ = std::move(job);
        return *job_;
    }
    // The session of network jobs, made on first use.
    WebSession& web();

    // Runs start(), then tick() on the worker until the job leaves Running.
    // `source` is the source the run reads, for the hint after a refusal.
    void runJob(std::optional<SourceKind> source = std::nullopt);
    // The button that closes the dialog: "閉じる" once a run has finished.
    void setCancelButton(QPushButton* button) { cancel_ = button; }
    // The run's end message, with the icon its end deserves; after a refusal
    // it says what to do next.
    void tellEnd(const JobOutcome& last, bool stoppedByRequest = false);
    // The run just ended was refused (nothing done, the job opened again).
    bool refused() const { return refused_; }
    // Runs on the worker ahead of each tick (set once, in the constructor).
    void setBeforeTick(std::function<void()> hook) { beforeTick_ = std::move(hook); }
    // No tick after the one in flight; jobEnded(last, true) follows.
    void stopJob() { runner_.requestStop(); }
    // Aborts the fetch in flight and waits for its step; its outcome is dropped.
    void haltJob();
    // A job run while its dialog is hidden leaves the pointer as it is.
    void setWaitCursor(bool on) { waitCursor_ = on; }

    virtual void applyOutcome(const JobOutcome& outcome) = 0;                 // status and progress
    virtual void jobEnded(const JobOutcome& last, bool stoppedByRequest) = 0;  // controls, then the message
    // After a refusal, before jobEnded(): the setting controls take input again.
    virtual void settingsReopened() {}

    Prompter& prompter() { return *prompter_; }
    Application& app_;

private:
    QtPrompter qtPrompter_;
    Prompter* prompter_;
    std::unique_ptr<WebSession> web_;
    std::unique_ptr<Job> job_;  // after web_: a job may hold the session's reader
    JobRunner runner_;
    std::function<void()> beforeTick_;
    QPushButton* cancel_ = nullptr;
    std::optional<SourceKind> runSource_;
    bool freshStart_ = false;  // the run's start took the settings anew
    int runOutcomes_ = 0;
    bool refused_ = false;
    bool halting_ = false;
    bool waitCursor_ = true;
    bool cursorSet_ = false;
};

}  // namespace quarlink
