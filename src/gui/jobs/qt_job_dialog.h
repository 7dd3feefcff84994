#pragma once
#include <QDialog>

#include "jobs/job_outcome.h"
#include "jobs/qt_job_runner.h"
#include "jobs/web_session.h"
#include "shell/qt_prompter.h"
#include "store/application.h"

namespace quarlink {

// What the network job dialogs share: the web session, a worker thread for
// the job's steps, and a "キャンセル" that acts at once (the fetch in flight
// is aborted, the dialog waits for its step and closes).
class JobDialogBase : public QDialog {
    Q_OBJECT
public:
    JobDialogBase(Application& app, QWidget* parent);
    ~JobDialogBase() override;

    // Message boxes and questions go here instead of QMessageBox (tests).
    void setPrompter(Prompter* prompter) { prompter_ = prompter ? prompter : &qtPrompter_; }
    bool jobBusy() const { return runner_.busy(); }
    void reject() override;

protected:
    // Runs `start` then `tick` on the worker until the job leaves Running.
    void runJob(JobRunner::Step start, JobRunner::Step tick);
    // Aborts the fetch in flight and waits for its step; its outcome is dropped.
    void haltJob();

    virtual void applyOutcome(const JobOutcome& outcome) = 0;  // status and progress
    virtual void jobEnded(const JobOutcome& last) = 0;         // controls, then the message

    Prompter& prompter() { return *prompter_; }

    Application& app_;
    WebSession web_;
    JobRunner runner_;

private:
    QtPrompter qtPrompter_;
    Prompter* prompter_;
    bool halting_ = false;
};

}  // namespace quarlink
