#include "gui/shell/scheduled_update.h"

#include <QApplication>
#include <QTimer>
#include <iostream>

#include "gui/jobs/update_dialog.h"
#include "gui/common/qt_prompter.h"

namespace quarlink {

using Action = ScheduleDecision::Action;

void ScheduledUpdate::UnattendedPrompter::message(const std::string& text) {
    if (forward) return forward->message(text);
    messages.push_back(text);
}
bool ScheduledUpdate::UnattendedPrompter::askYesNo(const std::string& text) {
    return forward ? forward->askYesNo(text) : false;
}
Prompter::Answer ScheduledUpdate::UnattendedPrompter::askYesNoCancel(const std::string& text) {
    return forward ? forward->askYesNoCancel(text) : Answer::Cancel;
}

ScheduledUpdate::ScheduledUpdate(TrayCommands& commands, const WebEnvironment& environment, Hooks hooks,
                                 QObject* parent)
    : QObject(parent), commands_(commands), environment_(environment), clock_(*environment.clock), hooks_(std::move(hooks)) {
    connect(&timer_, &QTimer::timeout, this, [this] { check(); });
    commands_.setOpener(TrayCommand::StopScheduledUpdate, [this](Application&, QWidget*) { stop(); });
    commands_.setOffered(TrayCommand::StopScheduledUpdate, [this] { return running_ && !stopping_; });
    commands_.setOpener(TrayCommand::ScheduledOutcome, [this](Application&, QWidget* parent) { showOutcome(parent); });
    commands_.setOffered(TrayCommand::ScheduledOutcome, [this] { return unseen_ && !running_; });
}

ScheduledUpdate::~ScheduledUpdate() {
    // The run is halted before its job goes; the blocker goes with us.
    thread_.abort();
    if (web_) web_->abort();
    thread_.join();
    job_.reset();
    commands_.setBlocked({});
    commands_.setOffered(TrayCommand::StopScheduledUpdate, {});
    commands_.setOffered(TrayCommand::ScheduledOutcome, {});
}

void ScheduledUpdate::start(int intervalMs) {
    timer_.start(intervalMs);
    QTimer::singleShot(0, this, [this] { check(); });
}

bool ScheduledUpdate::calendarReady(const ScheduleSettings& settings) {
    const std::int32_t today = clock_.japanNow().yyyymmdd();
    if (!kindFacts(settings.source).hasCalendar || calendar_.covers(today) || calendarTried_ == today) return true;
    if (!calendarFetch_.valid()) {
        // Off the UI thread: the request may take seconds. A month either
        // side covers the missed days and the next time.
        const std::filesystem::path workDir = commands_.app().workDir;
        const std::int32_t from = addDays(today, -31), to = addDays(today, 31);
        calendarFetch_ = std::async(std::launch::async, [workDir, today, from, to, environment = environment_] {
            std::pair<bool, BusinessCalendar> result;
            std::string error;
            result.first = fetchJQuantsCalendar(workDir, today, from, to, environment, result.second, error);
            return result;
        });
        return false;
    }
    if (calendarFetch_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
    auto [ok, calendar] = calendarFetch_.get();
    if (ok)
        calendar_ = calendar;
    else
        calendarTried_ = today;  // Monday to Friday; the catch-up reports what failed
    return true;
}

ScheduleDecision::Action ScheduledUpdate::check() {
    if (running_ || showing_) return Action::Wait;
    const LoadedSchedule loaded = loadSchedule(commands_.app().workDir);
    if (!loaded.problem.empty() && loaded.problem != toldProblem_) {
        toldProblem_ = loaded.problem;
        // Ignored lines cost their own settings only; the schedule runs on with the rest.
        if (hooks_.notify)
            hooks_.notify({loaded.unreadable ? schedule_text::kTitleStopped : schedule_text::kTitleDone,
                           loaded.problem, true});
    }
    if (!loaded.settings.enabled) {
        showWaiting(false);
        return Action::Off;
    }
    ScheduleDecision d = decideSchedule(loaded.settings, clock_.japanNow(), calendar_.lookup(), false);
    // Only a due time reaches for the lock: a check between times must not
    // hold it even briefly, or a writer started at that moment is refused.
    bool blocked = false;
    if (d.action == Action::Run) {
        // Made afresh: the options may have moved the chart folder since the last run.
        lock_ = std::make_unique<WriterLock>(commands_.app().workDir, "quarlink", commands_.app().chartFolder);
        blocked = commands_.busy() || !lock_->tryAcquire();
        // The J-Quants calendar is asked first, and may say it is a holiday.
        if (calendarReady(loaded.settings))
            d = decideSchedule(loaded.settings, clock_.japanNow(), calendar_.lookup(), blocked);
        else
            d.action = Action::Wait;
    }
    if (d.action != Action::Run && lock_) lock_->release();
    showWaiting(d.action == Action::Wait && blocked);
    if (d.action == Action::Run) begin(loaded.settings);
    return d.action;
}

void ScheduledUpdate::showWaiting(bool waiting) {
    if (waiting == waitingShown_) return;
    waitingShown_ = waiting;
    if (hooks_.activity) hooks_.activity(waiting ? QString::fromUtf8(schedule_text::kWaiting) : QString());
}

void ScheduledUpdate::begin(ScheduleSettings settings) {
    prompter_.messages.clear();
    // Recorded first: a run that crashes is not started again and again.
    settings.lastRun = minuteStamp(clock_.japanNow());
    if (std::string error; !saveSchedule(commands_.app().workDir, settings, error))
        prompter_.messages.push_back(schedule_text::kSaveFailed + error);
    // The menu's guard, said in the notice instead of a message box.
    if (!commands_.app().chartFolderConfigured()) {
        lock_->release();
        JobOutcome refused;
        refused.state = JobState::Idle;
        refused.stopReason = JobOutcome::StopReason::Failed;
        refused.message = tray_text::kNoChartFolder;
        if (hooks_.notify) hooks_.notify(scheduleNotice(refused));
        return;
    }
    running_ = true;
    stopping_ = false;
    unseen_ = false;
    waitingShown_ = false;
    commands_.setBlocked(schedule_text::kBusy);
    thread_.join();
    job_.reset();
    web_ = std::make_unique<WebSession>(commands_.app(), environment_);
    web_->reportFetchErrors([](const std::string& text) { std::cerr << "Error: " << text << '\n' << std::flush; });
    settings_ = {};
    settings_.source = settings.source;
    settings_.margin = settings.margin;
    settings_.indexOnly = settings.indexOnly;
    settings_.nikkei = settings.nikkei;
    settings_.topix = settings.topix;
    JobOutcome opened;
    job_ = makeDailyUpdate(commands_.app(), *web_, settings_, &opened);
    status_.clear();
    progress_ = 0;
    apply(opened);
    // The thread's outcomes reach this object on the UI thread, in order.
    const auto toUi = [this](std::function<void()> f) { QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection); };
    job_->onWait = [this, toUi](const std::string& line) {
        toUi([this, text = QString::fromStdString(line)] {
            status_ = text;
            if (hooks_.activity) hooks_.activity(QString::fromUtf8(schedule_text::kRunning) + status_);
        });
    };
    thread_.run(*job_, {[this, toUi](const JobOutcome& o) { toUi([this, o] { apply(o); }); },
                        [](const std::string&) { return false; },
                        [this, toUi](const JobOutcome& last) { toUi([this, last] { finish(last); }); }});
}

void ScheduledUpdate::stop() {
    if (!running_ || stopping_) return;
    stopping_ = true;
    // As a dialog stops: the fetch in flight ends at once, no step follows,
    // and the job's own stop keeps its place.
    thread_.abort();
    if (web_) web_->abort();
    if (hooks_.activity) hooks_.activity(QString::fromUtf8(schedule_text::kStopping));
}

void ScheduledUpdate::apply(const JobOutcome& o) {
    if (o.status) status_ = QString::fromStdString(*o.status);
    if (o.progress) progress_ = *o.progress;
    if (running_ && !stopping_ && hooks_.activity)
        hooks_.activity(QString::fromUtf8(schedule_text::kRunning) + status_ + QStringLiteral(" (%1%)").arg(progress_));
}

void ScheduledUpdate::finish(const JobOutcome& last) {
    if (!running_) return;
    running_ = false;
    last_ = last;
    // The aborted step's complaint is about the stop itself.
    if (last.message && !stopping_) prompter_.messages.push_back(*last.message);
    lock_->release();
    commands_.setBlocked({});
    unseen_ = true;
    if (hooks_.activity) hooks_.activity({});
    if (hooks_.notify) hooks_.notify(scheduleNotice(last, stopping_));
}

void ScheduledUpdate::showOutcome(QWidget* parent) {
    // A refusal's notice said all there was to say.
    if (!job_ || running_ || showing_) return;
    showing_ = true;
    commands_.run(TrayCommand::Update, parent, [this](Application& app, QWidget*) {
        unseen_ = false;
        thread_.join();
        UpdateDialog dialog(app, nullptr, &prompter_);
        dialog.showRun(std::move(web_), std::move(job_), settings_, last_, status_, progress_);
        QtPrompter shown(&dialog);
        prompter_.forward = &shown;
        // The messages the run kept, once the dialog is on screen.
        QTimer::singleShot(0, &dialog, [this, &shown] {
            const std::vector<std::string> kept = std::move(prompter_.messages);
            prompter_.messages.clear();
            for (const std::string& m : kept) shown.message(m);
        });
        dialog.exec();
        prompter_.forward = nullptr;
    });
    showing_ = false;
}

}  // namespace quarlink
