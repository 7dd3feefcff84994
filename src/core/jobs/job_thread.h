#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "core/jobs/job.h"

namespace quarlink {

// Runs a job to its end on a thread of its own, with no window: the core's
// driver for a run nobody watches (the scheduled update). start(), then
// tick() while the outcome says Running; a question is put to `ask` (an
// unattended run answers No) and its answer goes to answer(). Every outcome
// goes to `outcome` and the last to `ended`, both on the job's thread: a
// caller with a user interface hands them on to its own thread.
class JobThread {
public:
    struct Hooks {
        std::function<void(const JobOutcome&)> outcome;
        std::function<bool(const std::string& question)> ask;
        std::function<void(const JobOutcome& last)> ended;
    };

    JobThread() = default;
    ~JobThread() { join(); }
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Starts the run; the job must outlive it (join() before destroying it).
    void run(Job& job, Hooks hooks);
    // From any thread: the step in flight ends at once (the job's abort())
    // and no further step follows.
    void abort();
    // Waits for the run to end; at once when none runs.
    void join();
    bool running() const { return running_.load(); }

private:
    std::thread thread_;
    Job* job_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<bool> aborted_{false};
};

}  // namespace quarlink
