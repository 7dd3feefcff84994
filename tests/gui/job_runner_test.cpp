#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

#include "gui/jobs/job_runner.h"

using namespace quarlink;

namespace {

JobOutcome running(int progress) {
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = progress;
    return o;
}

}  // namespace

TEST(JobRunner, DeliversEveryOutcomeInOrderOnTheUiThread) {
    JobRunner runner;
    int ticks = 0;
    std::vector<int> seen;
    bool onUiThread = true;
    QObject::connect(&runner, &JobRunner::outcome, [&](const JobOutcome& o) {
        onUiThread = onUiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        seen.push_back(o.progress.value_or(-1));
    });
    bool done = false;
    JobState last{};
    QObject::connect(&runner, &JobRunner::finished, [&](const JobOutcome& o, bool) {
        done = true;
        last = o.state;
    });
    runner.run([] { return running(0); },
               [&] {
                   ++ticks;
                   if (ticks == 5) {
                       JobOutcome o;
                       o.state = JobState::Finished;
                       o.progress = 5;
                       return o;
                   }
                   return running(ticks);
               });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(last, JobState::Finished);
}

TEST(JobRunner, EventLoopStaysResponsiveWhileATickBlocks) {
    JobRunner runner;
    std::atomic<bool> release{false};
    runner.run([] { return running(0); },
               [&] {
                   release.wait(false);
                   JobOutcome o;
                   o.state = JobState::Finished;
                   return o;
               });
    // A UI-thread timer must still fire while the tick is stuck on the worker.
    bool timerFired = false;
    QTimer::singleShot(0, [&] { timerFired = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return timerFired; }, 2000));
    EXPECT_TRUE(runner.busy());
    release = true;
    release.notify_all();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !runner.busy(); }, 2000));
}

TEST(JobRunner, StopRequestEndsAfterTheTickInFlight) {
    JobRunner runner;
    std::atomic<int> ticks{0};
    std::atomic<bool> release{false};
    bool byRequest = false;
    bool done = false;
    QObject::connect(&runner, &JobRunner::finished, [&](const JobOutcome&, bool stopped) {
        done = true;
        byRequest = stopped;
    });
    runner.run([] { return running(0); },
               [&] {
                   if (++ticks == 2) release.wait(false);  // in flight when the stop comes
                   return running(ticks);
               });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks == 2; }, 2000));
    runner.requestStop();
    release = true;
    release.notify_all();
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 2000));
    EXPECT_TRUE(byRequest);
    // The worker runs its steps in order: once a later run is done, a tick
    // wrongly queued after the stop would have run and counted.
    done = false;
    runner.run([] { JobOutcome o; o.state = JobState::Finished; return o; }, {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 2000));
    EXPECT_EQ(ticks, 2);
}

TEST(JobRunner, AQuestionIsAskedOnTheUiThreadAndItsAnswerRunsOnTheWorker) {
    for (const bool yes : {true, false}) {
        JobRunner runner;
        std::thread::id askedOn, answeredOn;
        std::optional<bool> answered;
        std::optional<JobOutcome> last;
        QObject::connect(&runner, &JobRunner::finished, [&](const JobOutcome& o, bool) { last = o; });
        runner.run(
            [] {
                JobOutcome o = running(0);
                o.question = "go on?";
                return o;
            },
            [] { return running(0); },  // never reached: the answer ends the run
            [&](bool reply) {
                answeredOn = std::this_thread::get_id();
                answered = reply;
                JobOutcome o;
                o.state = JobState::Finished;
                return o;
            },
            [&](const std::string& question) {
                askedOn = std::this_thread::get_id();
                EXPECT_EQ(question, "go on?");
                return yes;
            });
        ASSERT_TRUE(QTest::qWaitFor([&] { return last.has_value(); }, 2000));
        EXPECT_EQ(last->state, JobState::Finished);
        EXPECT_EQ(answered, yes);
        EXPECT_EQ(askedOn, std::this_thread::get_id());
        EXPECT_NE(answeredOn, std::this_thread::get_id());
    }
}
