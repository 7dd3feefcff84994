#include "gui/jobs/job_runner.h"

#include <QEventLoop>
#include <QMetaObject>

namespace quarlink {

JobRunner::JobRunner(QObject* parent) : QObject(parent) {
    qRegisterMetaType<quarlink::JobOutcome>();
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

JobRunner::~JobRunner() {
    stopRequested_ = true;
    thread_.quit();
    thread_.wait();
}

void JobRunner::run(Step start, Step tick, Answer answer, Ask ask) {
    if (busy_) return;
    busy_ = true;
    stopRequested_ = false;
    tick_ = std::move(tick);
    answer_ = std::move(answer);
    ask_ = std::move(ask);
    post(start);
}

void JobRunner::requestStop() { stopRequested_ = true; }

void JobRunner::post(const Step& step) {
    QMetaObject::invokeMethod(worker_, [this, step] {
        const JobOutcome result = step();
        QMetaObject::invokeMethod(this, [this, result] { onStepDone(result); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void JobRunner::onStepDone(const JobOutcome& result) {
    if (!busy_) return;
    emit outcome(result);
    if (result.state == JobState::Running && !stopRequested_) {
        if (result.question && answer_) {
            const bool yes = ask_ && ask_(*result.question);
            post([answer = answer_, yes] { return answer(yes); });
            return;
        }
        post(tick_);
        return;
    }
    busy_ = false;
    emit finished(result, result.state == JobState::Running);
}

void JobRunner::waitForIdle() {
    if (!busy_) return;
    stopRequested_ = true;
    // Let the step in flight deliver its result; nothing new is posted.
    QEventLoop loop;
    connect(this, &JobRunner::finished, &loop, &QEventLoop::quit);
    if (busy_) loop.exec();
}

}  // namespace quarlink
