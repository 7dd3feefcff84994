#include "core/jobs/job_thread.h"

namespace quarlink {

void JobThread::run(Job& job, Hooks hooks) {
    join();
    job_ = &job;
    aborted_ = false;
    running_ = true;
    thread_ = std::thread([this, &job, hooks = std::move(hooks)] {
        JobOutcome o = job.start();
        for (;;) {
            if (hooks.outcome) hooks.outcome(o);
            if (o.question) {
                const bool yes = hooks.ask && hooks.ask(*o.question);
                o = job.answer(yes);
                continue;
            }
            if (o.state != JobState::Running) break;
            if (aborted_) {
                o = job.stop();
                if (hooks.outcome) hooks.outcome(o);
                break;
            }
            o = job.tick();
        }
        running_ = false;
        if (hooks.ended) hooks.ended(o);
    });
}

void JobThread::abort() {
    aborted_ = true;
    if (job_ && running_) job_->abort();
}

void JobThread::join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace quarlink
