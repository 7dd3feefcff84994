// The scheduled update in the tray: when it runs, what it waits for, what it
// says at the end, and the options dialog's section.
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>

#include "gui/jobs/update_dialog.h"
#include "core/jobs/update_job.h"
#include "core/schedule/autostart.h"
#include "core/web/jquants/jquants_key.h"
#include "core/schedule/schedule_settings.h"
#include "gui/shell/option_dialog.h"
#include "gui/shell/schedule_options.h"
#include "gui/shell/scheduled_update.h"
#include "gui/shell/tray_window.h"
#include "core/store/writer_lock.h"
#include "support/fake_prompter.h"
#include "support/loopback_server.h"
#include "support/scratch_chart.h"
#include "support/temp_dir.h"
#include "support/fake_clock.h"

using namespace quarlink;
namespace fs = std::filesystem;
using Action = ScheduleDecision::Action;

namespace {

// A chart folder whose page servers refuse every connection (port 1).
struct Scratch : test::ScratchChart {
    Scratch() {
        writeIndex("date=20061205\r\n1301,A,T1,1000\r\n");
        writeFile(layout::endpointsFile(app),
                  "quote=127.0.0.1:1\nhistory=127.0.0.1:1\nstock=127.0.0.1:1\nretry_attempts=1\nretry_wait_ms=0\n");
    }
    void schedule(bool enabled, std::int64_t lastRun, ScheduleSource source = ScheduleSource::InfoSeek) {
        ScheduleSettings s;
        s.enabled = enabled;
        s.source = source;
        s.lastRun = lastRun;
        std::string error;
        ASSERT_TRUE(saveSchedule(app.workDir, s, error)) << error;
    }
    test::FakePrompter prompter;
    TrayCommands commands{app, prompter, TrayServices{}};
    FixedClock clock{{2026, 12, 7, 17, 45, 0}};  // a Monday, after 17:30
    std::vector<QString> activity;
    std::vector<ScheduleNotice> notices;
    ScheduledUpdate scheduled{commands, test::onClock(clock),
                              {[this](const QString& t) { activity.push_back(t); },
                               [this](const ScheduleNotice& n) { notices.push_back(n); }}};

    bool waitForNotice() {
        QElapsedTimer t;
        t.start();
        while (notices.empty() && t.elapsed() < 20'000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return !notices.empty();
    }
};

}  // namespace

TEST(ScheduledUpdate, RunsUnattendedAndNotifiesTheStop) {
    Scratch s;
    s.schedule(true, 202612041730);
    ASSERT_EQ(s.scheduled.check(), Action::Run);
    EXPECT_TRUE(s.scheduled.running());
    EXPECT_EQ(loadSchedule(s.app.workDir).settings.lastRun, 202612071745) << "the run is recorded when it starts";
    // Meanwhile the menu's writing commands are refused with a word why.
    EXPECT_EQ(s.commands.run(TrayCommand::Supplement), TrayRunResult::Busy);
    ASSERT_EQ(s.prompter.messages.size(), 1u);
    EXPECT_EQ(s.prompter.messages[0], schedule_text::kBusy);

    ASSERT_TRUE(s.waitForNotice());
    EXPECT_FALSE(s.scheduled.running());
    EXPECT_TRUE(s.notices[0].failed);
    EXPECT_EQ(s.notices[0].body, schedule_text::kConnection);
    EXPECT_TRUE(s.activity.back().isEmpty()) << "the tooltip is back to normal";
    EXPECT_FALSE(s.activity.empty());
    EXPECT_TRUE(s.prompter.questions.empty()) << "no question is asked of the user";
    // The lock is free again; no window was made, and the run waits with its outcome.
    WriterLock other(s.app.workDir, "test");
    EXPECT_TRUE(other.tryAcquire());
    other.release();
    ASSERT_NE(s.scheduled.lastJob(), nullptr);
    EXPECT_EQ(s.scheduled.lastOutcome().stopReason, JobOutcome::StopReason::Connection);
    EXPECT_EQ(s.scheduled.lastSettings().source, SourceKind::InfoSeek);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                             [](QWidget* w) { return qobject_cast<UpdateDialog*>(w) != nullptr; }));
    // The same time is not run twice.
    EXPECT_EQ(s.scheduled.check(), Action::NotYet);
}

// The notice's click: the dialog takes the run over, its 更新 resumes it.
TEST(ScheduledUpdate, TheNoticesClickHandsTheRunToTheDialog) {
    Scratch s;
    s.schedule(true, 202612041730);
    ASSERT_EQ(s.scheduled.check(), Action::Run);
    ASSERT_TRUE(s.waitForNotice());
    bool resumable = false, toldTheStop = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            toldTheStop = box->text().toStdString() == update_text::kDisconnected;
            box->accept();
        } else if (auto* d = qobject_cast<UpdateDialog*>(QApplication::activeModalWidget())) {
            resumable = d->startButton()->isEnabled() && d->sourceList()->currentData().toInt() == 0;
            d->reject();
        }
    });
    closer.start(10);
    s.scheduled.showOutcome();
    EXPECT_TRUE(resumable);
    EXPECT_TRUE(toldTheStop) << "the run's message is shown with the dialog";
    EXPECT_EQ(s.scheduled.lastJob(), nullptr) << "the dialog took the run";
}

TEST(ScheduledUpdate, WaitsForDialogsAndTheLockAndRunsNothingBeforeItsTime) {
    Scratch s;
    s.schedule(true, 202612041730);
    test::TempDir otherWork;  // another working folder set to the same chart folder
    for (const fs::path& holderWork : {s.app.workDir, otherWork.path()}) {
        WriterLock cli(holderWork, "quarlink-cli", s.chart());
        ASSERT_TRUE(cli.tryAcquire());
        EXPECT_EQ(s.scheduled.check(), Action::Wait);
        EXPECT_EQ(s.activity.back(), QString::fromUtf8(schedule_text::kWaiting));
    }
    Action insideDialog = Action::Off;
    s.commands.setOpener(TrayCommand::Options, [&](Application&, QWidget*) { insideDialog = s.scheduled.check(); });
    s.commands.run(TrayCommand::Options);
    EXPECT_EQ(insideDialog, Action::Wait);
    EXPECT_EQ(loadSchedule(s.app.workDir).settings.lastRun, 202612041730) << "nothing ran";

    s.clock.set({2026, 12, 7, 17, 29, 0});
    EXPECT_EQ(s.scheduled.check(), Action::NotYet);
    EXPECT_TRUE(s.activity.back().isEmpty()) << "no longer waiting";
    s.schedule(false, 0);
    s.clock.set({2026, 12, 7, 18, 0, 0});
    EXPECT_EQ(s.scheduled.check(), Action::Off);
    EXPECT_EQ(s.scheduled.lastJob(), nullptr);
}

// Between times the check leaves the working folder's lock alone.
TEST(ScheduledUpdate, ACheckBeforeItsTimeLeavesTheLockAlone) {
    Scratch s;
    s.schedule(true, 202612041730);
    s.clock.set({2026, 12, 7, 17, 29, 0});
    EXPECT_EQ(s.scheduled.check(), Action::NotYet);
    EXPECT_FALSE(std::filesystem::exists(s.app.workDir / WriterLock::kFileName));
}

// With J-Quants the API's calendar decides; it is asked off the UI thread
// once a time is due, and a failed request falls back on Monday to Friday.
TEST(ScheduledUpdate, JQuantsAsksTheCalendarAndReportsAMissingKey) {
    ::unsetenv("JQUANTS_API_KEY");
    Scratch s;
    s.schedule(true, 202612041730, ScheduleSource::JQuants);
    BusinessCalendar holiday;
    holiday.set(20261201, 20261231, {20261204, 20261208});  // Monday the 7th closed
    s.scheduled.setCalendar(holiday);
    EXPECT_EQ(s.scheduled.check(), Action::NotYet);

    s.scheduled.setCalendar({});
    EXPECT_EQ(s.scheduled.check(), Action::Wait) << "the calendar is being fetched";
    QElapsedTimer t;
    t.start();
    Action a = Action::Wait;
    while (a == Action::Wait && t.elapsed() < 10'000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        a = s.scheduled.check();
    }
    ASSERT_EQ(a, Action::Run);
    ASSERT_TRUE(s.waitForNotice());
    EXPECT_TRUE(s.notices[0].failed);
    EXPECT_NE(s.notices[0].body.find(jquants::kKeyVariable), std::string::npos) << s.notices[0].body;
    EXPECT_EQ(s.scheduled.lastSettings().source, SourceKind::JQuants);
}

TEST(ScheduledUpdate, WithoutAChartFolderTheNoticeSaysSo) {
    Scratch s;
    s.app.chartFolder.clear();
    s.schedule(true, 202612041730);
    EXPECT_EQ(s.scheduled.check(), Action::Run);
    EXPECT_FALSE(s.scheduled.running());
    ASSERT_EQ(s.notices.size(), 1u);
    EXPECT_NE(s.notices[0].body.find(tray_text::kNoChartFolder), std::string::npos);
    EXPECT_TRUE(s.prompter.shown.empty()) << "no message box in the way";
    EXPECT_EQ(s.scheduled.check(), Action::NotYet) << "told once per time";
}

TEST(ScheduledUpdate, AGarbledLineIsToldAndTheOtherSettingsRun) {
    Scratch s;
    std::ofstream(s.app.workDir / kScheduleFileName) << "enabled=1\nsource=yahoo\ntime=25:99\nlast_run=2026-12-04 17:30\n";
    EXPECT_EQ(s.scheduled.check(), Action::Run) << "17:30, the time kept, is due";
    ASSERT_EQ(s.notices.size(), 1u);
    EXPECT_NE(s.notices[0].body.find("3行目「time=25:99」"), std::string::npos) << s.notices[0].body;
    EXPECT_EQ(s.scheduled.lastSettings().source, SourceKind::Yahoo);
    s.notices.clear();
    ASSERT_TRUE(s.waitForNotice());
}

TEST(OptionDialogSchedule, OffByDefaultAndSavedBesideTheOptions) {
    Scratch s;
    {
        OptionDialog dlg(s.app, nullptr, &s.prompter);
        EXPECT_EQ(dlg.scheduleBox()->title(), QStringLiteral("毎日の自動更新"));
        EXPECT_FALSE(dlg.scheduleBox()->isChecked());
        EXPECT_EQ(dlg.scheduleTime()->time(), QTime(17, 30));
        ASSERT_EQ(dlg.scheduleSource()->count(), 3);
        EXPECT_EQ(dlg.scheduleSource()->itemText(2), QStringLiteral("J-Quants API"));
        dlg.scheduleBox()->setChecked(true);
        dlg.scheduleTime()->setTime(QTime(18, 5));
        dlg.scheduleSource()->setCurrentIndex(1);  // J-Quants asks for a key
        dlg.saveButton()->click();
    }
    const LoadedSchedule saved = loadSchedule(s.app.workDir);
    EXPECT_EQ(saved.problem, "");
    EXPECT_TRUE(saved.settings.enabled);
    EXPECT_EQ(saved.settings.hour * 100 + saved.settings.minute, 1805);
    EXPECT_EQ(saved.settings.source, ScheduleSource::Yahoo);
    EXPECT_GT(saved.settings.lastRun, 0) << "switched on, it counts from now";

    std::ofstream(s.app.workDir / kScheduleFileName) << "source=somewhere\n";
    OptionDialog garbled(s.app, nullptr, &s.prompter);
    ASSERT_FALSE(s.prompter.messages.empty());
    EXPECT_NE(s.prompter.messages.back().find(kScheduleFileName), std::string::npos);
    EXPECT_FALSE(garbled.scheduleBox()->isChecked());
}

// Without a tray the fallback window carries the run's line and the notice,
// and its button opens the outcome.
TEST(TrayWindowNotice, FallbackWindowShowsProgressAndTheNotice) {
    Scratch s;
    TrayWindow tray(s.commands);
    tray.show(false);
    int clicks = 0;
    tray.onNoticeClicked = [&] { ++clicks; };
    FallbackWindow* w = tray.fallbackWindow();
    tray.setActivity(QStringLiteral("毎日の自動更新：日々のデータ更新中：1301 (13%)"));
    EXPECT_EQ(w->activityLine()->text(), QStringLiteral("毎日の自動更新：日々のデータ更新中：1301 (13%)"));
    EXPECT_FALSE(w->outcomeButton()->isVisible());
    tray.notify({schedule_text::kTitleStopped, schedule_text::kConnection, true});
    EXPECT_TRUE(w->activityLine()->text().contains(QString::fromUtf8(schedule_text::kConnection)));
    ASSERT_TRUE(w->outcomeButton()->isVisible());
    w->outcomeButton()->click();
    EXPECT_EQ(clicks, 1);
}

// One instant, read in the machine's zone (TZ) by now() and in Japan by japanNow().
struct InstantClock final : Clock {
    explicit InstantClock(std::time_t t) : at(t) {}
    static LocalDateTime of(std::time_t t, bool utc) {
        std::tm m{};
        utc ? ::gmtime_r(&t, &m) : ::localtime_r(&t, &m);
        return {m.tm_year + 1900, m.tm_mon + 1, m.tm_mday, m.tm_hour, m.tm_min};
    }
    LocalDateTime now() const override { return of(at, false); }
    LocalDateTime japanNow() const override { return of(at + 9 * 3600, true); }
    std::time_t at;
};

// Japan's 18:45 on Monday 2026-12-07 (09:45 UTC, 04:45 in New York) runs its 17:30.
TEST(ScheduledUpdate, RunsOnJapanTimeWhateverTheMachinesZone) {
    const std::string zoneBefore = std::getenv("TZ") ? std::getenv("TZ") : "";
    for (const char* zone : {"UTC", "America/New_York"}) {
        SCOPED_TRACE(zone);
        ::setenv("TZ", zone, 1);
        ::tzset();
        Scratch s;
        s.schedule(true, 202612041730);
        const InstantClock clock(1796636700);
        ScheduledUpdate scheduled(s.commands, test::onClock(clock), {});
        EXPECT_EQ(scheduled.check(), Action::Run);
        EXPECT_EQ(loadSchedule(s.app.workDir).settings.lastRun, 202612071845);
    }
    zoneBefore.empty() ? ::unsetenv("TZ") : ::setenv("TZ", zoneBefore.c_str(), 1);
    ::tzset();
}

// 定時更新を中止 in the fallback window stops the run as a dialog's stop does;
// its outcome resumes it, and once opened the result goes from the window and the menu.
TEST(ScheduledUpdate, StoppedFromTheTrayItResumesAndItsResultGoesOnceOpened) {
    std::atomic<int> accepted{0};
    const test::LoopbackServer silent([&](int fd, const test::StopFlag& stop) {  // takes the request, never answers
        for (char byte = ++accepted; test::waitReadable(fd, stop) && ::recv(fd, &byte, 1, 0) > 0;) {}
    }, true);
    Scratch s;
    const std::string a = "127.0.0.1:" + std::to_string(silent.port());
    s.writeFile(layout::endpointsFile(s.app), "quote=" + a + "\nhistory=" + a + "\nstock=" + a + "\nretry_wait_ms=0\n");
    TrayWindow tray(s.commands);
    tray.show(false);
    ScheduledUpdate scheduled(s.commands, test::onClock(s.clock), {[&](const QString& t) { tray.setActivity(t); }, [&](auto& n) {
                                  s.notices.push_back(n);
                                  tray.notify(n);
                              }});
    const auto shown = [&](TrayCommand c) {
        emit tray.menu()->aboutToShow();
        for (QAction* act : tray.menu()->actions())
            if (act->text() == QString::fromUtf8(trayMenuEntry(c).text)) return act->isVisible();
        return false;
    };
    s.schedule(true, 202612041730);
    ASSERT_EQ(scheduled.check(), Action::Run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return accepted > 0; }, 15000));
    EXPECT_TRUE(shown(TrayCommand::StopScheduledUpdate));
    ASSERT_TRUE(tray.fallbackWindow()->stopButton()->isVisible());
    tray.fallbackWindow()->stopButton()->click();
    ASSERT_TRUE(s.waitForNotice());
    EXPECT_EQ(s.notices[0].body, schedule_text::kCancelled);
    EXPECT_FALSE(shown(TrayCommand::StopScheduledUpdate));
    EXPECT_TRUE(shown(TrayCommand::ScheduledOutcome));

    bool resumable = false, messageShown = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            messageShown = true;
            box->accept();
        } else if (auto* d = qobject_cast<UpdateDialog*>(QApplication::activeModalWidget())) {
            resumable = d->startButton()->isEnabled();
            d->reject();
        }
    });
    closer.start(10);
    tray.fallbackWindow()->outcomeButton()->click();
    EXPECT_TRUE(resumable);
    EXPECT_FALSE(messageShown) << "the cut request is the stop, not a lost connection";
    EXPECT_FALSE(tray.fallbackWindow()->activityLine()->isVisible());
    EXPECT_FALSE(shown(TrayCommand::ScheduledOutcome));
}

// The options' box: the run's options and the login entry are saved, a timer
// of an older version follows in Japan time, and a refused entry is said before saving.
TEST(ScheduleOptions, SavesTheRunsOptionsTheLoginEntryAndTheTimersZone) {
    Scratch s;
    test::TempDir places;
    std::vector<std::string> calls;
    const ScheduleOptions::Places at{places / "units", places / "autostart",
                                     [&](const std::vector<std::string>& args, std::string&) {
                                         calls.push_back(args.at(0));
                                         return 0;
                                     }};
    const fs::path dropIn = places / "units/quarlink-update.timer.d/schedule.conf";
    s.writeFile(dropIn, "[Timer]\nOnCalendar=\nOnCalendar=Mon..Fri 17:30:00\n");
    ScheduleOptions box(nullptr, at);
    EXPECT_EQ(box.loadFrom(s.app), "");
    box.setChecked(true);
    box.nikkeiBox()->setChecked(true);
    box.sourceList()->setCurrentIndex(box.sourceList()->findData(int(SourceKind::JQuants)));
    box.topixBox()->setChecked(true);
    box.marginBox()->setChecked(false);
    box.autostartBox()->setChecked(true);
    EXPECT_EQ(box.validate(), "");
    EXPECT_TRUE(box.save(s.app, s.clock, s.prompter));
    const ScheduleSettings saved = loadSchedule(s.app.workDir).settings;
    EXPECT_TRUE(saved.enabled && saved.topix && !saved.margin && saved.source == SourceKind::JQuants);
    EXPECT_FALSE(saved.nikkei) << "J-Quants has no Nikkei average";
    EXPECT_EQ(s.readFile(dropIn), timerDropIn(saved));
    EXPECT_EQ(calls, std::vector<std::string>{"daemon-reload"});
    EXPECT_TRUE(autostartEnabled(places / "autostart"));

    ScheduleOptions again(nullptr, at);
    again.loadFrom(s.app);
    EXPECT_TRUE(again.topixBox()->isChecked() && again.autostartBox()->isChecked());
    again.setChecked(false);  // the entry goes with the schedule, unless something else stands there
    fs::remove(places / "autostart" / kAutostartFileName);
    fs::create_directory(places / "autostart" / kAutostartFileName);
    EXPECT_NE(again.validate().find(autostart_text::kNotRemoved), std::string::npos);
}
