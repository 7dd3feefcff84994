// quarlink-cli schedule and update --scheduled, as the systemd units use
// them, on a machine without systemd.
#include <gtest/gtest.h>

#include "schedule/schedule_settings.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

ProcessResult cli(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"--workdir", (dir / "work").string()});
    // No systemctl on the path; the drop-ins go into the scratch folder.
    return runProcess(QUARLINK_CLI_PATH, args, {{"PATH", "/nonexistent"}, {"XDG_CONFIG_HOME", (dir / "config").string()}});
}

}  // namespace

TEST(CliSchedule, EnableWithoutSystemdSavesAndSaysWhatToDo) {
    TempDir dir;
    ProcessResult r = cli(dir, {"schedule", "enable", "--time", "06:45", "--source", "jquants"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("this system does not run systemd"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("crontab"), std::string::npos) << r.err;
    EXPECT_NE(readFile(dir / "config/systemd/user/quarlink-update.timer.d/schedule.conf").find("Mon..Fri 06:45:00"),
              std::string::npos);
    const LoadedSchedule saved = loadSchedule(dir / "work");
    EXPECT_EQ(saved.settings.hour * 100 + saved.settings.minute, 645);
    EXPECT_EQ(saved.settings.source, ScheduleSource::JQuants);

    r = cli(dir, {"schedule", "status"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("time: 06:45"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("systemd timer: systemd not available"), std::string::npos) << r.out;

    for (const auto& args : std::vector<std::vector<std::string>>{{"schedule", "enable", "--time", "24:00"},
                                                                   {"schedule", "status", "--time", "10:00"},
                                                                   {"schedule", "restart"},
                                                                   {"update", "--scheduled", "--source", "yahoo"}})
        EXPECT_EQ(cli(dir, args).exitCode, 64) << args[1];
}

TEST(CliSchedule, ScheduledUpdateRunsOncePerTimeAndToleratesAGarbledFile) {
    TempDir dir;
    // Just run: the time is recorded and nothing is due until the next business day.
    writeFile(dir / "work" / kScheduleFileName, "time=00:00\n");
    ProcessResult r = cli(dir, {"update", "--scheduled"});
    EXPECT_EQ(r.exitCode, 1) << "no chart folder: " << r.err;
    EXPECT_GT(loadSchedule(dir / "work").settings.lastRun, 0);
    r = cli(dir, {"update", "--scheduled"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("has run already"), std::string::npos) << r.out;

    writeFile(dir / "work" / kScheduleFileName, "time=whenever\n");
    r = cli(dir, {"update", "--scheduled"});
    EXPECT_NE(r.err.find("line 1 is not understood"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the defaults are used"), std::string::npos) << r.err;
}
