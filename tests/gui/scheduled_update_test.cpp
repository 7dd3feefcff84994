// The scheduled update in the tray: when it runs, what it waits for, what it
// says at the end, and the options dialog's section.
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

#include "gui/jobs/update_dialog.h"
#include "core/jobs/update_job.h"
#include "core/schedule/schedule_settings.h"
#include "gui/shell/option_dialog.h"
#include "gui/shell/scheduled_update.h"
#include "gui/shell/tray_window.h"
#include "core/store/writer_lock.h"
#include "support/fake_prompter.h"
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
    ScheduledUpdate scheduled{commands, clock,
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
    EXPECT_NE(s.notices[0].body.find("no J-Quants API key"), std::string::npos) << s.notices[0].body;
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
        dlg.scheduleSource()->setCurrentIndex(2);
        dlg.saveButton()->click();
    }
    const LoadedSchedule saved = loadSchedule(s.app.workDir);
    EXPECT_EQ(saved.problem, "");
    EXPECT_TRUE(saved.settings.enabled);
    EXPECT_EQ(saved.settings.hour * 100 + saved.settings.minute, 1805);
    EXPECT_EQ(saved.settings.source, ScheduleSource::JQuants);
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
