#include <gtest/gtest.h>

#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace quarlink::test;

namespace {

ProcessResult cli(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {}) {
    return runProcess(QUARLINK_CLI_PATH, args, env);
}

}  // namespace

TEST(CliOptions, FirstStartThenLoad) {
    TempDir dir;
    const std::string work = (dir / "work").string();
    auto first = cli({"--workdir", work, "options"});
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(first.err, "初回起動：オプションファイルを作成します。\n");
    EXPECT_EQ(readFile(dir / "work" / "Quarlink.conf"), ",0");

    auto second = cli({"--workdir", work, "options"});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.out, "chartFolder=\nlaunchChart=0\n");
    EXPECT_EQ(second.err, "");
}

TEST(CliOptions, SaveWritesTheDialogsFormat) {
    TempDir dir;
    const std::string work = dir.path().string();
    auto saved = cli({"--workdir", work, "options", "--chart-folder", "  /home/u/chart ", "--launch-chart", "1"});
    EXPECT_EQ(saved.exitCode, 0);
    EXPECT_EQ(readFile(dir / "Quarlink.conf"), "/home/u/chart,1\r\n");
    EXPECT_EQ(saved.out, "chartFolder=/home/u/chart\nlaunchChart=1\n");

    // Changing one setting keeps the other.
    cli({"options", "--workdir", work, "--launch-chart", "0"});
    EXPECT_EQ(readFile(dir / "Quarlink.conf"), "/home/u/chart,0\r\n");
}

TEST(CliOptions, SaveFailureIsReportedWithExitOne) {
    TempDir dir;
    std::filesystem::create_directory(dir / "Quarlink.conf");  // cannot be replaced by a file
    auto r = cli({"--workdir", dir.path().string(), "options", "--chart-folder", "/c"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("オプションファイルが作成できませんでした。オプションは保存されません。"), std::string::npos);
}

TEST(CliOptions, WorkDirDefaultsToXdgDataHome) {
    TempDir dir;
    auto r = cli({"options"}, {{"XDG_DATA_HOME", dir.path().string()}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readFile(dir / "quarlink" / "Quarlink.conf"), ",0");
    TempDir home;
    auto h = cli({"options"}, {{"XDG_DATA_HOME", ""}, {"HOME", home.path().string()}});
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(home / ".local/share/quarlink/Quarlink.conf"));
}

TEST(CliOptions, UsageErrorsAndHelp) {
    TempDir dir;
    const std::string work = dir.path().string();
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* expectInOut;
    };
    const Case cases[] = {
        {{"--workdir", work, "options", "--launch-chart", "2"}, 64, ""},
        {{"--workdir", work, "options", "--chart-folder"}, 64, ""},
        {{"--workdir", work, "options", "extra"}, 64, ""},
        {{"--workdir", work, "nosuchcommand"}, 64, ""},
        // A value that looks like an option is refused, not taken.
        {{"--workdir", work, "supplement", "--folder", "--init"}, 64, ""},
        {{"--workdir", work, "options", "--chart-folder", "--launch-chart", "1"}, 64, ""},
        {{"--workdir", work, "supplement", "--folder=-x", "--init"}, 64, ""},
        // Numbers are decimal and range-checked; "--" ends the options.
        {{"--workdir", work, "update", "--resume-from", "0x10"}, 64, ""},
        {{"--workdir", work, "update", "--resume-from", "10000"}, 64, ""},
        {{"--workdir", work, "history", "7203", "--start-year", "1989"}, 64, ""},
        {{"--workdir", work, "quote", "7203", "--mode", "3"}, 64, ""},
        {{"--workdir", work, "quote", "--", "7203", "--mode", "1"}, 64, ""},
        {{"--workdir", work, "--wait", "-1", "backup"}, 64, ""},
        {{"--version"}, 0, "quarlink-cli "},
        {{}, 64, "Commands:"},
        {{"--help"}, 0, "Exit codes:"},
        {{"options", "--help"}, 0, "--chart-folder PATH"},
        {{"help", "options"}, 0, "--launch-chart 0|1"},
    };
    for (const auto& c : cases) {
        auto r = cli(c.args);
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        EXPECT_EQ(r.exitCode, c.exitCode) << joined;
        EXPECT_NE(r.out.find(c.expectInOut), std::string::npos) << joined;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "Quarlink.conf")) << "usage errors must not touch the working folder";
}
