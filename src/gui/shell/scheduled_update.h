#pragma once
#include <QObject>
#include <QTimer>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "core/jobs/daily_update.h"
#include "core/jobs/job_thread.h"
#include "core/jobs/web_session.h"
#include "core/schedule/business_calendar.h"
#include "core/schedule/update_schedule.h"
#include "gui/shell/tray_commands.h"
#include "core/env/clock.h"
#include "core/env/prompter.h"
#include "core/store/writer_lock.h"

namespace quarlink {

// Runs the daily update by itself at the time of "毎日の自動更新": a timer
// asks the schedule (schedule.conf, read each time) whether a run is due; a
// due run waits while a dialog is open or another program holds the writer
// lock, then runs the job the core's factory makes for the schedule's
// settings on a thread of its own, with no window and no question asked
// (each is answered No). Its times are Japan time (the clock's japanNow()).
// Its progress and the notice at its end go to the hooks; the notice's click
// opens 日々のデータ更新 with the run's outcome. It offers the tray menu's
// 定時更新を中止 while a run goes on, and the outcome's entry until the user
// has opened it.
class ScheduledUpdate : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const QString& text)> activity;  // empty: nothing runs
        std::function<void(const ScheduleNotice& notice)> notify;
    };

    ScheduledUpdate(TrayCommands& commands, const WebEnvironment& environment, Hooks hooks, QObject* parent = nullptr);
    ~ScheduledUpdate() override;

    // Looks at the schedule every `intervalMs` and once at once.
    void start(int intervalMs = 30'000);
    // One look (the timer's; tests call it).
    ScheduleDecision::Action check();
    bool running() const { return running_; }
    // The user's stop, as a dialog's: the step in flight is aborted, what is
    // stored stays stored, and the outcome's dialog resumes the run.
    void stop();
    // A run's outcome the user has not opened yet.
    bool outcomeUnseen() const { return unseen_; }

    // The notice's click: the dialog with the last run's outcome, modal,
    // through the tray's commands (their guard and the writer lock), its
    // messages shown; 更新 there resumes the run.
    void showOutcome(QWidget* parent = nullptr);
    // The last run, kept for showOutcome(): its job (null when none), its
    // settings and its last outcome.
    const Job* lastJob() const { return job_.get(); }
    const DailyUpdateSettings& lastSettings() const { return settings_; }
    const JobOutcome& lastOutcome() const { return last_; }

    // The J-Quants calendar for that source (tests set a fixed one; when
    // unset, it is fetched from the API the first time a run is due).
    void setCalendar(const BusinessCalendar& calendar) { calendar_ = calendar; }

private:
    // Answers every question No and keeps the messages for the outcome dialog.
    class UnattendedPrompter final : public Prompter {
    public:
        Prompter* forward = nullptr;  // while the dialog is shown
        std::vector<std::string> messages;
        void message(const std::string& text) override;
        bool askYesNo(const std::string& text) override;
        Answer askYesNoCancel(const std::string& text) override;
    };

    bool calendarReady(const ScheduleSettings& settings);
    void showWaiting(bool waiting);
    void begin(ScheduleSettings settings);
    void apply(const JobOutcome& o);
    void finish(const JobOutcome& last);

    TrayCommands& commands_;
    WebEnvironment environment_;  // the session's: the schedule's "today" is its runs'
    const Clock& clock_;
    Hooks hooks_;
    QTimer timer_;
    std::unique_ptr<WriterLock> lock_;  // made at each due time, for the chart folder of that moment
    UnattendedPrompter prompter_;
    // The run: its session, its job, the thread that drives it; kept after
    // the end until the outcome is shown or the next run starts.
    std::unique_ptr<WebSession> web_;
    std::unique_ptr<Job> job_;
    JobThread thread_;
    DailyUpdateSettings settings_;
    JobOutcome last_;
    QString status_;
    int progress_ = 0;
    bool running_ = false;
    bool stopping_ = false;
    bool unseen_ = false;
    bool showing_ = false;
    bool waitingShown_ = false;
    std::string toldProblem_;
    BusinessCalendar calendar_;
    std::future<std::pair<bool, BusinessCalendar>> calendarFetch_;
    std::int32_t calendarTried_ = 0;  // the day a fetch failed; not tried again that day
};

}  // namespace quarlink
