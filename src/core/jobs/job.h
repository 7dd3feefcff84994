#pragma once
#include <functional>
#include <string>

#include "core/jobs/job_outcome.h"
#include "core/env/prompter.h"

namespace quarlink {

// The contract every job keeps, so that a dialog and the CLI drive any job
// the same way: open() once, settings filled in, start(), then tick() while
// the outcome says Running. A job also keeps a nested `Settings` struct,
// filled from the dialog's controls or the CLI's options before start().
//
// All calls come from one thread at a time (the dialog's worker or the
// CLI's main thread); the job never talks to the user itself: texts travel
// in the outcome, and a question comes back through answer().
class Job {
public:
    virtual ~Job() = default;

    // Resets settings and progress; the outcome carries the opening status.
    virtual JobOutcome open() = 0;
    // Takes the settings and sets off; Idle (with a message) when they are refused.
    virtual JobOutcome start() = 0;
    virtual JobOutcome tick() = 0;
    // The user's stop between ticks; what is done so far stays done.
    virtual JobOutcome stop() {
        JobOutcome o;
        o.state = JobState::Stopped;
        return o;
    }
    // From any thread, while a step runs: the work in flight (a request the
    // job makes itself) ends at once and the step returns a stop.
    virtual void abort() {}
    // The user's answer to the outcome's question.
    virtual JobOutcome answer(bool /*yes*/) {
        JobOutcome o;
        o.state = JobState::Running;
        return o;
    }

    // True from the first start() that took the settings until the next
    // open(): a resumed run keeps them, and a dialog keeps its setting
    // controls locked meanwhile.
    bool settingsTaken() const { return settingsTaken_; }

    // The bar's position while the next step runs, for a job that knows it
    // before the step (the code whose page is fetched); -1 when it does not.
    virtual int progressBeforeStep() const { return -1; }
    // A status line from inside a step (a source's rate-limit wait), called
    // on the thread running the step; set before start().
    std::function<void(const std::string&)> onWait;

protected:
    void setSettingsTaken(bool taken) { settingsTaken_ = taken; }

private:
    bool settingsTaken_ = false;
};

// Drives a job on the calling thread, for steps that are over in a moment:
// start(), the questions asked and answered, tick() while Running; each
// message goes to `prompter`. Returns the last outcome.
JobOutcome runToEnd(Job& job, Prompter& prompter);

}  // namespace quarlink
