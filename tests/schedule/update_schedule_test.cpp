#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "core/jobs/update_job.h"
#include "core/schedule/schedule_settings.h"
#include "core/schedule/business_calendar.h"
#include "core/schedule/update_schedule.h"
#include "support/temp_dir.h"

using namespace quarlink;
using quarlink::test::readFile;
using quarlink::test::TempDir;
using quarlink::test::writeFile;
using Action = ScheduleDecision::Action;

namespace {

LocalDateTime at(std::int32_t date, int hour, int minute) {
    return {date / 10000, date / 100 % 100, date % 100, hour, minute, 0};
}

}  // namespace

// 2026-12-04 is a Friday; 2026-12-07 a Monday.
TEST(UpdateSchedule, DecidesWhenToRun) {
    // A J-Quants calendar that marks Tuesday 2026-12-08 a market holiday.
    const BusinessDayLookup holidayTuesday = [](std::int32_t d) -> std::optional<bool> {
        if (d == 20261208) return false;
        return std::nullopt;
    };
    struct Case {
        const char* name;
        bool enabled;
        std::int64_t lastRun;
        LocalDateTime now;
        bool blocked;
        bool holidayCalendar;
        Action action;
        std::int64_t slot;  // Run/Wait: the slot; NotYet: the next one
    };
    const Case cases[] = {
        {"off", false, 0, at(20261207, 18, 0), false, false, Action::Off, 0},
        {"before the time on a business day", true, 202612041730, at(20261207, 17, 29), false, false, Action::NotYet,
         202612071730},
        {"at the time", true, 202612041730, at(20261207, 17, 30), false, false, Action::Run, 202612071730},
        {"already run today", true, 202612071731, at(20261207, 22, 0), false, false, Action::NotYet, 202612081730},
        {"Saturday after Friday's run", true, 202612041730, at(20261205, 18, 0), false, false, Action::NotYet,
         202612071730},
        {"weekend missed Friday's run", true, 202612031730, at(20261206, 10, 0), false, false, Action::Run,
         202612041730},
        {"machine off over two times", true, 202612031730, at(20261209, 9, 0), false, false, Action::Run,
         202612081730},
        {"holiday in the calendar", true, 202612071730, at(20261208, 18, 0), false, true, Action::NotYet,
         202612091730},
        {"calendar silent: Monday to Friday", true, 202612041730, at(20261207, 18, 0), false, true, Action::Run,
         202612071730},
        {"another dialog or the lock", true, 202612041730, at(20261207, 17, 45), true, false, Action::Wait,
         202612071730},
        {"never run", true, 0, at(20261205, 12, 0), false, false, Action::Run, 202612041730},
    };
    for (const Case& c : cases) {
        ScheduleSettings s;
        s.enabled = c.enabled;
        s.lastRun = c.lastRun;
        const ScheduleDecision d = decideSchedule(s, c.now, c.holidayCalendar ? holidayTuesday : BusinessDayLookup{},
                                                  c.blocked);
        EXPECT_EQ(d.action, c.action) << c.name;
        EXPECT_EQ(c.action == Action::NotYet ? d.next : d.slot, c.slot) << c.name;
    }
}

TEST(UpdateSchedule, NoticeForEachEnd) {
    using Reason = JobOutcome::StopReason;
    struct Case {
        const char* name;
        JobState state;
        Reason reason;
        std::optional<std::string> status, message;
        std::string body;
        bool failed;
        bool byUser = false;  // stopped from the tray
    };
    const std::string kDone = schedule_text::kDone;
    const Case cases[] = {
        {"pages finished", JobState::Finished, Reason::None, update_text::kFinished, std::nullopt, kDone, false},
        {"pages finished with a note", JobState::Finished, Reason::None, update_text::kFinishedSkip,
         "書き込まなかった銘柄：2件", kDone + "\n書き込まなかった銘柄：2件", false},
        {"catch-up finished", JobState::Finished, Reason::None, "J-Quants catch-up done: 3 days", std::nullopt,
         kDone + "\nJ-Quants catch-up done: 3 days", false},
        {"pages lost the connection", JobState::Stopped, Reason::Connection, std::nullopt, update_text::kDisconnected,
         schedule_text::kConnection, true},
        {"catch-up lost the connection", JobState::Stopped, Reason::Connection, std::nullopt,
         "J-Quants server error HTTP 503", std::string(schedule_text::kConnection) + "\nJ-Quants server error HTTP 503",
         true},
        {"page not recognised", JobState::Stopped, Reason::UnrecognisedPage, std::nullopt, update_text::kFormatChanged,
         schedule_text::kUnrecognised, true},
        {"refused to start", JobState::Stopped, Reason::Failed, std::nullopt, "No stock price file in /c/data",
         std::string(schedule_text::kFailed) + "\nNo stock price file in /c/data", true},
        {"idle with a message", JobState::Idle, Reason::None, std::nullopt, "index.txt がありません",
         std::string(schedule_text::kFailed) + "\nindex.txt がありません", true},
        {"stopped from the tray, the request cut", JobState::Stopped, Reason::Connection, std::nullopt,
         update_text::kDisconnected, schedule_text::kCancelled, false, true},
        {"stopped from the tray after the last day", JobState::Finished, Reason::None, update_text::kFinished,
         std::nullopt, kDone, false, true},
    };
    for (const Case& c : cases) {
        JobOutcome o;
        o.state = c.state;
        o.stopReason = c.reason;
        o.status = c.status;
        o.message = c.message;
        const ScheduleNotice n = scheduleNotice(o, c.byUser);
        EXPECT_EQ(n.body, c.body) << c.name;
        EXPECT_EQ(n.failed, c.failed) << c.name;
        EXPECT_EQ(n.title, c.state == JobState::Finished ? schedule_text::kTitleDone : schedule_text::kTitleStopped);
    }
}

TEST(ScheduleSettings, RoundTripsAndRefusesGarbledFiles) {
    TempDir dir;
    ScheduleSettings s;
    s.enabled = true;
    s.hour = 6;
    s.minute = 5;
    s.source = ScheduleSource::JQuants;
    s.margin = false;
    s.topix = true;
    s.lastRun = 202612071731;
    std::string error;
    ASSERT_TRUE(saveSchedule(dir.path(), s, error)) << error;
    const LoadedSchedule back = loadSchedule(dir.path());
    EXPECT_EQ(back.problem, "");
    EXPECT_EQ(formatSchedule(back.settings), formatSchedule(s));
    EXPECT_NE(readFile(dir / kScheduleFileName).find("last_run=2026-12-07 17:31\n"), std::string::npos);

    struct Case {
        const char* name;
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {"unknown key kept for a newer version", "enabled=1\ncolour=blue\n", true},
        {"CR LF and blanks", "time = 09:00\r\n\r\n# note\r\n", true},
        {"time out of range", "time=24:00\n", false},
        {"time without minutes", "time=9\n", false},
        {"unknown source", "source=kabutan\n", false},
        {"flag not a flag", "enabled=maybe\n", false},
        {"line without =", "enabled\n", false},
        {"bad last run", "last_run=2026-13-01 10:00\n", false},
        {"binary garbage", std::string("\x82\xa0\0\xff=\x01", 6), false},
    };
    const ScheduleSettings kept{.source = ScheduleSource::JQuants};  // what the good first line says alone
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir / kScheduleFileName, "source=jquants\n" + c.text);
        const LoadedSchedule loaded = loadSchedule(dir.path());
        EXPECT_EQ(loaded.problem.empty(), c.ok) << loaded.problem;
        EXPECT_EQ(loaded.settings.source, ScheduleSource::JQuants) << "a bad line costs only its own setting";
        if (!c.ok) {
            EXPECT_EQ(formatSchedule(loaded.settings), formatSchedule(kept));
            EXPECT_NE(loaded.problem.find(kScheduleFileName + std::string(" の2行目「")), std::string::npos);
            EXPECT_EQ(loaded.problem.find_first_of(std::string("\0\x01\xff", 3)), std::string::npos)
                << "the line is quoted escaped: " << loaded.problem;
        }
    }
    // A FIFO would block a reader; a folder cannot be read.
    std::filesystem::remove(dir / kScheduleFileName);
    ASSERT_EQ(::mkfifo((dir / kScheduleFileName).c_str(), 0600), 0);
    EXPECT_NE(loadSchedule(dir.path()).problem, "");
    std::filesystem::remove(dir / kScheduleFileName);
    EXPECT_EQ(loadSchedule(dir.path()).problem, "") << "a missing file is the defaults, silently";
}

namespace quarlink {
namespace {

// The schedule's calendar is asked within the plan's window: on Free, whose
// calendar ends weeks before today, not at all (here nothing listens, so a
// request would end in a connection failure instead).
TEST(ScheduleCalendar, FreeAsksNothingOutsideItsWindow) {
    TempDir dir;
    test::writeFile(dir.path() / "endpoints.conf", "jquants=http://127.0.0.1:1/v2\njquants_plan=free\n");
    test::writeFile(dir.path() / "jquants.key", "fake-key-calendar");
    ::chmod((dir.path() / "jquants.key").c_str(), 0600);
    BusinessCalendar calendar;
    std::string error;
    EXPECT_FALSE(fetchJQuantsCalendar(dir.path(), 20261208, 20261107, 20270108, systemEnvironment(), calendar, error));
    EXPECT_NE(error.find("ご利用のJ-Quantsプランで取得できるのは"), std::string::npos) << error;
    EXPECT_FALSE(calendar.covers(20261208));
}

}  // namespace
}  // namespace quarlink
