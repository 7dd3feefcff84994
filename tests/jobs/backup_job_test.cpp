#include "core/jobs/backup_job.h"

#include "support/file_job_fixture.h"

namespace quarlink {
namespace {

using testing::FileJobFixture;
using Direction = BackupJob::Direction;

class BackupJobTest : public FileJobFixture {};

TEST_F(BackupJobTest, BackupCopiesExistingFilesAndCountsThem) {
    for (int code : {101, 1301, 7203}) writeSeries(layout::dataFile(app, code), series({rec(20061201, code)}));
    BackupJob job(app, Direction::Backup);
    std::vector<int> statusCodes;
    std::vector<int> progress;
    JobOutcome o = job.start();
    EXPECT_EQ(o.status, "株価データバックアップ作成中...");
    while (o.state == JobState::Running) {
        o = job.tick();
        if (o.status) statusCodes.push_back(app.currentCode - 1);
        progress.push_back(*o.progress);
    }
    EXPECT_EQ(o.state, JobState::Finished);
    EXPECT_EQ(o.message, "バックアップ完了！処理ファイル数 3");
    EXPECT_EQ(statusCodes, (std::vector<int>{101, 1301, 7203}));
    EXPECT_EQ(progress.size(), 10000u);
    EXPECT_EQ(progress.back(), 99);
    for (int code : {101, 1301, 7203})
        EXPECT_EQ(readFile(layout::backupFile(app, code)), readFile(layout::dataFile(app, code)));
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(layout::backupFolder(app))) files += e.is_regular_file();
    EXPECT_EQ(files, 3);
}

TEST_F(BackupJobTest, PerFileStatusShowsThePlainCode) {
    writeSeries(layout::dataFile(app, 101), series({rec(20061201)}));
    BackupJob job(app, Direction::Restore);
    writeSeries(layout::backupFile(app, 102), series({rec(20061201)}));
    job.start();
    std::optional<std::string> seen;
    while (app.currentCode <= 102) {
        auto o = job.tick();
        if (o.status) seen = o.status;
    }
    EXPECT_EQ(seen, "株価データバックアップ復元中...102");
}

TEST_F(BackupJobTest, RestoreFromEmptyBackupCopiesNothingAndLeavesChartAlone) {
    writeSeries(layout::dataFile(app, 7203), series({rec(20061201)}));
    const auto before = readFile(layout::dataFile(app, 7203));
    BackupJob job(app, Direction::Restore);
    const JobOutcome o = runToEnd(job);
    EXPECT_EQ(o.message, "バックアップ復元完了！処理ファイル数 0");
    EXPECT_EQ(readFile(layout::dataFile(app, 7203)), before);
    EXPECT_TRUE(std::filesystem::is_directory(layout::backupFolder(app)));
}

TEST_F(BackupJobTest, RestoreOverwritesBackedUpCodesOnly) {
    writeSeries(layout::dataFile(app, 1301), series({rec(20061201, 1)}));
    writeSeries(layout::dataFile(app, 7203), series({rec(20061201, 2)}));
    writeFile(layout::indexFile(app), "index bytes");
    writeSeries(layout::backupFile(app, 1301), series({rec(20061130, 3), rec(20061201, 4)}));
    const auto untouched = readFile(layout::dataFile(app, 7203));
    BackupJob job(app, Direction::Restore);
    EXPECT_EQ(runToEnd(job).message, "バックアップ復元完了！処理ファイル数 1");
    EXPECT_EQ(readFile(layout::dataFile(app, 1301)), readFile(layout::backupFile(app, 1301)));
    EXPECT_EQ(readFile(layout::dataFile(app, 7203)), untouched);
    EXPECT_EQ(readFile(layout::indexFile(app)), "index bytes");
}

TEST_F(BackupJobTest, BackupKeepsCopiesOfCodesGoneFromTheChartFolder) {
    writeSeries(layout::backupFile(app, 4444), series({rec(20001010)}));
    writeSeries(layout::dataFile(app, 1301), series({rec(20061201)}));
    BackupJob job(app, Direction::Backup);
    EXPECT_EQ(runToEnd(job).message, "バックアップ完了！処理ファイル数 1");
    EXPECT_TRUE(std::filesystem::exists(layout::backupFile(app, 4444)));
}

TEST_F(BackupJobTest, CopiesThatFailAreNotCountedAndAreReported) {
    // A folder standing where a price file should be cannot be replaced,
    // even by root; the other code still restores.
    writeSeries(layout::backupFile(app, 1301), series({rec(20061201, 2)}));
    writeSeries(layout::backupFile(app, 7203), series({rec(20061201, 3)}));
    writeSeries(layout::dataFile(app, 1301) / "keep", series({rec(20061201, 1)}));
    BackupJob job(app, Direction::Restore);
    const JobOutcome o = runToEnd(job);
    // The count, then the first failure with its path and the system's reason.
    EXPECT_EQ(o.message, "バックアップ復元完了！処理ファイル数 1\nコピーできなかったファイル数 1\n" +
                             layout::dataFile(app, 1301).string() + "を置き換えられません（" + file_text::kNotRegular + "）");
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::Failed);
    EXPECT_TRUE(std::filesystem::exists(layout::dataFile(app, 1301) / "keep"));
    EXPECT_EQ(readFile(layout::dataFile(app, 7203)), readFile(layout::backupFile(app, 7203)));
    for (auto& e : std::filesystem::directory_iterator(layout::dataFolder(app)))
        EXPECT_FALSE(isTemporaryFileName(e.path().filename().string())) << e.path();
}

TEST_F(BackupJobTest, BackupFolderThatCannotBeMadeFailsEveryCopy) {
    writeFile(layout::backupFolder(app), "a file, not a folder");
    writeSeries(layout::dataFile(app, 1301), series({rec(20061201)}));
    writeSeries(layout::dataFile(app, 7203), series({rec(20061201)}));
    BackupJob job(app, Direction::Backup);
    const JobOutcome o = runToEnd(job);
    // Nothing copied is no completion.
    EXPECT_EQ(o.message, "バックアップできませんでした。\nコピーできなかったファイル数 2\n" +
                             layout::backupFile(app, 1301).string() + "を作れません（途中にフォルダでないものがあります）");
    EXPECT_EQ(readFile(layout::backupFolder(app)), "a file, not a folder");
}

TEST_F(BackupJobTest, MissingChartDataFolderCountsNothing) {
    std::filesystem::remove_all(layout::dataFolder(app));
    BackupJob job(app, Direction::Backup);
    EXPECT_EQ(runToEnd(job).message, "バックアップ完了！処理ファイル数 0");
    EXPECT_FALSE(std::filesystem::exists(layout::dataFolder(app)));
}

TEST_F(BackupJobTest, StartingAgainBeginsAtCodeZero) {
    writeSeries(layout::dataFile(app, 5), series({rec(20061201)}));
    writeSeries(layout::dataFile(app, 9000), series({rec(20061201)}));
    BackupJob job(app, Direction::Backup);
    job.start();
    while (app.currentCode < 100) job.tick();  // "cancelled" here
    EXPECT_EQ(app.processedCount, 1);
    BackupJob again(app, Direction::Backup);
    EXPECT_EQ(runToEnd(again).message, "バックアップ完了！処理ファイル数 2");
}

}  // namespace
}  // namespace quarlink
