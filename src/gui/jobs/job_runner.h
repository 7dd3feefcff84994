#pragma once
#include <QObject>
#include <QThread>
#include <functional>
#include <string>

#include "core/jobs/job_outcome.h"

Q_DECLARE_METATYPE(quarlink::JobOutcome)

namespace quarlink {

// Runs a job's start and ticks on a worker thread, one at a time, and hands
// each outcome to the UI thread, so the window keeps painting and its buttons
// answer while a page is being fetched. The sequence of work is the same as
// ticking on the UI thread.
class JobRunner : public QObject {
    Q_OBJECT
public:
    using Step = std::function<JobOutcome()>;
    using Answer = std::function<JobOutcome(bool)>;
    using Ask = std::function<bool(const std::string&)>;

    explicit JobRunner(QObject* parent = nullptr);
    ~JobRunner() override;

    // Calls `start` once, then `tick` while the outcome says Running and no
    // stop was asked for. An outcome's question is put to `ask` here, on the
    // UI thread, and `answer` runs with the reply on the worker in place of
    // the next tick. Ignored while a run is active.
    void run(Step start, Step tick, Answer answer = {}, Ask ask = {});

    // No further ticks after the one in flight; `stopped` follows once it is done.
    void requestStop();

    // Blocks until the step in flight (if any) has returned. The caller makes
    // that step end soon (for example by aborting its fetch) before waiting.
    void waitForIdle();

    bool busy() const { return busy_; }

signals:
    // Each outcome, on the UI thread, in order.
    void outcome(const quarlink::JobOutcome& outcome);
    // The run ended: the job left Running, or a stop was asked for.
    void finished(const quarlink::JobOutcome& last, bool stoppedByRequest);

private:
    void post(const Step& step);
    void onStepDone(const quarlink::JobOutcome& result);

    QThread thread_;
    QObject* worker_ = nullptr;
    Step tick_;
    Answer answer_;
    Ask ask_;
    bool busy_ = false;
    bool stopRequested_ = false;
};

}  // namespace quarlink
