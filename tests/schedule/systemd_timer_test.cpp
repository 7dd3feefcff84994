#include <gtest/gtest.h>

#include <map>

#include "core/schedule/systemd_timer.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace quarlink;
using quarlink::test::readFile;
using quarlink::test::TempDir;
using quarlink::test::writeFile;

namespace fs = std::filesystem;

namespace {

// systemctl as a script: each call is recorded, and the exit status and
// output come from the table (0 and nothing by default).
struct FakeSystemctl {
    std::vector<std::string> calls;
    std::map<std::string, std::pair<int, std::string>> answers;

    SystemctlRunner runner() {
        return [this](const std::vector<std::string>& args, std::string& output) {
            std::string call;
            for (const std::string& a : args) call += (call.empty() ? "" : " ") + a;
            calls.push_back(call);
            const auto it = answers.find(call);
            if (it == answers.end()) return 0;
            output = it->second.second;
            return it->second.first;
        };
    }
};

ScheduleSettings at0915() {
    ScheduleSettings s;
    s.hour = 9;
    s.minute = 15;
    s.source = ScheduleSource::JQuants;
    return s;
}

}  // namespace

TEST(SystemdSchedule, EnableWritesTheDropInAndEnablesTheTimer) {
    TempDir work, units;
    FakeSystemctl systemctl;
    SystemdSchedule schedule(work.path(), true, units.path(), systemctl.runner());
    const auto r = schedule.enable(at0915(), "/usr/bin/quarlink-cli");
    EXPECT_TRUE(r.ok) << r.err;
    EXPECT_EQ(readFile(units / "quarlink-update.timer.d/schedule.conf"),
              "# Written by quarlink-cli schedule enable; quarlink-cli schedule disable removes it.\n"
              "[Timer]\nOnCalendar=\nOnCalendar=Mon..Fri *-*-* 09:15:00 Asia/Tokyo\n");
    EXPECT_FALSE(fs::exists(units / "quarlink-update.service.d")) << "the default folder needs no service drop-in";
    EXPECT_EQ(systemctl.calls, (std::vector<std::string>{"daemon-reload", "enable --now quarlink-update.timer"}));
    const LoadedSchedule saved = loadSchedule(work.path());
    EXPECT_EQ(saved.settings.source, ScheduleSource::JQuants);
    EXPECT_EQ(saved.settings.hour * 100 + saved.settings.minute, 915);
    EXPECT_FALSE(saved.settings.enabled) << "the tray application's own schedule is left as it was";

    const auto off = schedule.disable();
    EXPECT_TRUE(off.ok) << off.err;
    EXPECT_FALSE(fs::exists(units / "quarlink-update.timer.d"));
    EXPECT_EQ(systemctl.calls.back(), "daemon-reload");
    EXPECT_EQ(systemctl.calls.at(2), "disable --now quarlink-update.timer");
}

TEST(SystemdSchedule, AnEnabledTimerFollowsATimeChangedInTheTray) {
    TempDir work, units;
    FakeSystemctl systemctl;
    SystemdSchedule schedule(work.path(), true, units.path(), systemctl.runner());
    EXPECT_TRUE(schedule.followTime(at0915()).ok);
    EXPECT_TRUE(systemctl.calls.empty()) << "no timer set up: nothing to follow";
    EXPECT_FALSE(fs::exists(units / "quarlink-update.timer.d"));

    ASSERT_TRUE(schedule.enable(at0915(), "/usr/bin/quarlink-cli").ok);
    systemctl.calls.clear();
    ScheduleSettings later = at0915();
    later.hour = 18;
    EXPECT_TRUE(schedule.followTime(later).ok);
    EXPECT_NE(readFile(units / "quarlink-update.timer.d/schedule.conf").find("OnCalendar=Mon..Fri *-*-* 18:15:00 Asia/Tokyo\n"),
              std::string::npos);
    EXPECT_EQ(systemctl.calls, std::vector<std::string>{"daemon-reload"});
}

TEST(SystemdSchedule, AnotherWorkingFolderGoesIntoTheServiceDropIn) {
    TempDir units;
    FakeSystemctl systemctl;
    const fs::path work = units / "my 100% data";
    fs::create_directories(work);
    SystemdSchedule schedule(work, false, units.path(), systemctl.runner());
    ASSERT_TRUE(schedule.enable(at0915(), "/opt/q/quarlink-cli").ok);
    EXPECT_EQ(readFile(units / "quarlink-update.service.d/schedule.conf"),
              "# Written by quarlink-cli schedule enable; quarlink-cli schedule disable removes it.\n"
              "[Service]\nExecStart=\nExecStart=\"/opt/q/quarlink-cli\" --workdir \"" +
                  (units / "my 100%% data").string() + "\" --wait 3600 update --scheduled\n");
}

TEST(SystemdSchedule, AFailedEnableSaysWhatToDoAndChangesNothing) {
    struct Case {
        const char* name;
        std::string failingCall;
        int status;
        std::string output;
        std::string expected;
        const char* timerBefore;  // the drop-in already there, if any
        bool blockServiceDropIn;  // its folder's name taken by a file
        std::size_t calls;
    };
    const Case cases[] = {
        {"no systemctl", "daemon-reload", 127, "", systemd_text::kNoSystemctl, nullptr, false, 1},
        {"no user manager", "daemon-reload", 1, "Failed to connect to bus: No medium found",
         "Failed to connect to bus: No medium found", "[Timer]\nOnCalendar=Mon..Fri 07:00:00\n", false, 1},
        {"units not installed", "enable --now quarlink-update.timer", 1,
         "Failed to enable unit: Unit file quarlink-update.timer does not exist.", systemd_text::kUnitsMissing,
         nullptr, false, 3},
        {"service drop-in not written", "", 0, "", systemd_text::kServiceDropInNotWritten, nullptr, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir work, units;
        FakeSystemctl systemctl;
        systemctl.answers[c.failingCall] = {c.status, c.output};
        writeFile(work / kScheduleFileName, "time=08:00\n");
        if (c.timerBefore) writeFile(units / "quarlink-update.timer.d/schedule.conf", c.timerBefore);
        if (c.blockServiceDropIn) writeFile(units / "quarlink-update.service.d", "");
        SystemdSchedule schedule(work.path(), !c.blockServiceDropIn, units.path(), systemctl.runner());
        const auto r = schedule.enable(at0915(), "/usr/bin/quarlink-cli");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("quarlink-cli schedule enable --time 09:15 --source jquants") != std::string::npos,
                  c.status == 1);
        EXPECT_EQ(systemctl.calls.size(), c.calls) << "a reload that read the new drop-in is repeated";
        EXPECT_EQ(readFile(work / kScheduleFileName), "time=08:00\n");
        const fs::path timer = units / "quarlink-update.timer.d/schedule.conf";
        EXPECT_EQ(fs::exists(timer.parent_path()) ? readFile(timer) : "none", c.timerBefore ? c.timerBefore : "none");
    }
}

// systemd's own check of the installed units and of the drop-in's time. It
// insists that ExecStart exists, so a copy names the built quarlink-cli.
TEST(SystemdSchedule, UnitsPassSystemdAnalyzeVerify) {
    TempDir dir;
    std::string service = readFile(fs::path(QUARLINK_SOURCE_DIR) / "data/systemd/quarlink-update.service");
    const std::string bare = "ExecStart=quarlink-cli ";
    ASSERT_NE(service.find(bare), std::string::npos);
    service.replace(service.find(bare), bare.size(), "ExecStart=" + std::string(QUARLINK_CLI_PATH) + " ");
    writeFile(dir / "quarlink-update.service", service);
    std::string timer = readFile(fs::path(QUARLINK_SOURCE_DIR) / "data/systemd/quarlink-update.timer");
    // The drop-in's calendar line stands in for the unit's own.
    const std::string dropIn = timerDropIn(at0915());
    const std::string line = dropIn.substr(dropIn.rfind("OnCalendar="));
    timer.replace(timer.find("OnCalendar="), timer.find('\n', timer.find("OnCalendar=")) - timer.find("OnCalendar=") + 1,
                  line);
    EXPECT_NE(timer.find("OnCalendar=Mon..Fri *-*-* 09:15:00 Asia/Tokyo\nPersistent=true"), std::string::npos);
    writeFile(dir / "quarlink-update.timer", timer);
    const auto result = test::runProcess("/usr/bin/systemd-analyze",
                                         {"verify", "--man=no", (dir / "quarlink-update.timer").string(),
                                          (dir / "quarlink-update.service").string()});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
}
