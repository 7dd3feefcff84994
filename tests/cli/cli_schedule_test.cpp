// quarlink-cli schedule and update --scheduled, as the systemd units use
// them, on a machine without systemd.
#include <gtest/gtest.h>

#include "core/schedule/schedule_settings.h"
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

TEST(CliSchedule, EnableWithoutSystemdChangesNothingAndSaysWhatToDo) {
    TempDir dir;
    ProcessResult r = cli(dir, {"schedule", "enable", "--time", "06:45", "--source", "jquants"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("systemdが動いていない"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("crontab"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "config")) << "no drop-in, nor its folders";
    EXPECT_FALSE(std::filesystem::exists(dir / "work" / kScheduleFileName));

    r = cli(dir, {"schedule", "status"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("時刻：17:30"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("systemdのタイマー：systemdがありません"), std::string::npos) << r.out;

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
    EXPECT_NE(r.out.find("実行済み"), std::string::npos) << r.out;

    // A garbled line costs its own setting only, and goes when the run is recorded.
    writeFile(dir / "work" / kScheduleFileName, "source=jquants\ntime=whenever\n");
    r = cli(dir, {"update", "--scheduled"});
    EXPECT_NE(r.err.find("2行目「time=whenever」"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("取得先 jquants"), std::string::npos) << r.out;
    EXPECT_EQ(loadSchedule(dir / "work").problem, "");
    EXPECT_EQ(loadSchedule(dir / "work").settings.source, ScheduleSource::JQuants);
}
