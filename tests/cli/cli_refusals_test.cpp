// Jobs over folders that are not there, or that cannot be written, say so
// with the path and exit 1 instead of reporting completion.
#include <gtest/gtest.h>

#include "core/store/price_series.h"
#include "core/store/writer_lock.h"
#include "support/run_process.h"
#include "support/scratch_chart.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

struct CliRun {
    int exitCode;
    std::string err;
};

CliRun cli(const std::filesystem::path& work, std::vector<std::string> args) {
    args.insert(args.begin(), {"--workdir", work.string()});
    const auto r = runProcess(QUARLINK_CLI_PATH, args);
    return {r.exitCode, r.err + r.out};
}

}  // namespace

TEST(CliRefusals, MissingOrNonFolderChartFolderRefusesEveryJobNamingIt) {
    const std::vector<std::vector<std::string>> commands = {
        {"update"}, {"margin-fill"}, {"backup", "--yes"}, {"restore", "--yes"},
        {"split", "--yes"}, {"supplement", "--init"}, {"index-update"}, {"init-transfer"},
    };
    for (const bool isFile : {false, true}) {
        TempDir dir;
        const auto chart = dir / "chart";
        if (isFile) writeFile(chart, "not a folder");
        writeFile(dir / "work" / "Quarlink.conf", chart.string() + ",0\r\n");
        for (const auto& command : commands) {
            const CliRun r = cli(dir / "work", command);
            EXPECT_EQ(r.exitCode, 1) << command[0] << "\n" << r.err;
            EXPECT_NE(r.err.find("Sorvantideフォルダが見つからないかフォルダではありません：" + chart.string()),
                      std::string::npos)
                << command[0] << "\n" << r.err;
            EXPECT_EQ(r.err.find("終了"), std::string::npos) << command[0];
            EXPECT_EQ(r.err.find("完了"), std::string::npos) << command[0];
        }
    }
}

TEST(CliRefusals, SupplementFromAMissingFolderOrAFileRefuses) {
    ScratchChart dir;
    dir.writeOptions();
    dir.writeFile(dir.root / "afile", "x");
    for (const auto& source : {dir.root / "missing", dir.root / "afile"}) {
        const CliRun r = cli(dir.app.workDir, {"supplement", "--folder", source.string()});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find("コピー元フォルダが見つからないかフォルダではありません：" + source.string()),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("補完完了"), std::string::npos) << r.err;
    }
}

// With the backup folder unusable no copy succeeds: no completion text, the
// system's reason instead, exit 1.
TEST(CliRefusals, BackupThatCopiedNothingSaysWhyAndFails) {
    ScratchChart dir;
    for (int code : {7203, 1301}) dir.writePrices(code, {PriceRecord{20061201, 1, 1, 1, 1, 1, 0, 0}});
    dir.writeOptions();
    dir.writeFile(layout::backupFolder(dir.app), "a file where the folder should be");
    const CliRun r = cli(dir.app.workDir, {"backup", "--yes"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err.find("バックアップ完了"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("バックアップできませんでした。"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("コピーできなかったファイル数 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("途中にフォルダでないものがあります"), std::string::npos) << r.err;
}

// Two working folders set to one chart folder (the second by a symlink): the
// second one's writers are refused, naming the first.
TEST(CliRefusals, AnotherWorkingFolderOfTheSameChartFolderIsRefusedNamingTheHolder) {
    TempDir dir;
    for (const char* sub : {"a", "chart/data"}) std::filesystem::create_directories(dir / sub);
    std::filesystem::create_directory_symlink(dir / "chart", dir / "link");
    writeFile(dir / "b/Quarlink.conf", (dir / "link").string() + ",0\r\n");
    WriterLock holder(dir / "a", "quarlink", dir / "chart");
    ASSERT_TRUE(holder.tryAcquire());
    for (const std::vector<std::string>& args : {std::vector<std::string>{"backup", "--yes"}, {"check", "--repair"}}) {
        const CliRun r = cli(dir / "b", args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_NE(r.err.find("（" + (dir / "a").string() + "）のプログラム"), std::string::npos) << r.err;
    }
}
