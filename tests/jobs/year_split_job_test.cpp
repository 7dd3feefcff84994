#include "core/jobs/year_split_job.h"

#include "support/file_job_fixture.h"

namespace quarlink {
namespace {

using testing::FileJobFixture;

class YearSplitJobTest : public FileJobFixture {
protected:
    // Every file under sep/, relative path -> bytes.
    std::map<std::string, std::string> tree() {
        std::map<std::string, std::string> out;
        for (auto& e : std::filesystem::recursive_directory_iterator(layout::sepFolder(app)))
            if (e.is_regular_file())
                out[std::filesystem::relative(e.path(), layout::sepFolder(app)).string()] = readFile(e.path());
        return out;
    }
};

TEST_F(YearSplitJobTest, YearFilesConcatenateToThePriceFile) {
    writeSeries(layout::dataFile(app, 7203),
                series({rec(20041229), rec(20041230), rec(20050104), rec(20051230), rec(20060104), rec(20060105)}));
    writeSeries(layout::dataFile(app, 101), series({rec(20060104)}));
    YearSplitJob job(app);
    JobOutcome o = job.start();
    EXPECT_EQ(o.status, "株価データ分割保存中...");
    o = runToEnd(job);
    EXPECT_EQ(o.state, JobState::Finished);
    EXPECT_EQ(o.message, "分割完了！処理ファイル数 2");
    const auto t = tree();
    EXPECT_EQ(t.size(), 4u);
    EXPECT_EQ(t.at("2004/7203") + t.at("2005/7203") + t.at("2006/7203"), readFile(layout::dataFile(app, 7203)));
    EXPECT_EQ(t.at("2004/7203").size(), 64u);
    EXPECT_EQ(t.at("2006/0101"), readFile(layout::dataFile(app, 101)));
}

TEST_F(YearSplitJobTest, RerunReplacesYearFiles) {
    writeSeries(layout::dataFile(app, 7203), series({rec(20041229), rec(20050104)}));
    YearSplitJob job(app);
    runToEnd(job);
    const auto first = tree();
    runToEnd(job);
    EXPECT_EQ(tree(), first);
}

TEST_F(YearSplitJobTest, EmptyFilesAreCountedWithoutYearFiles) {
    writeFile(layout::dataFile(app, 1301), "");
    YearSplitJob job(app);
    EXPECT_EQ(runToEnd(job).message, "分割完了！処理ファイル数 1");
    EXPECT_TRUE(tree().empty());
    EXPECT_TRUE(std::filesystem::is_directory(layout::sepFolder(app)));
}

TEST_F(YearSplitJobTest, RecurringYearKeepsAllItsRecordsInFileOrder) {
    writeSeries(layout::dataFile(app, 7203),
                series({rec(20050104, 1), rec(20041229, 2), rec(20050105, 3), rec(20041230, 4)}));
    YearSplitJob job(app);
    runToEnd(job);
    const auto t = tree();
    EXPECT_EQ(parsePriceSeries(t.at("2005/7203")).rows, (std::vector{rec(20050104, 1), rec(20050105, 3)}));
    EXPECT_EQ(parsePriceSeries(t.at("2004/7203")).rows, (std::vector{rec(20041229, 2), rec(20041230, 4)}));
}

TEST_F(YearSplitJobTest, SomethingOtherThanAPriceFileIsSkippedAndNamed) {
    writeSeries(layout::dataFile(app, 1301), series({rec(20061201)}));
    std::filesystem::create_directories(layout::dataFile(app, 7203));  // exists, cannot be read
    YearSplitJob job(app);
    const JobOutcome o = runToEnd(job);
    EXPECT_EQ(o.state, JobState::Finished);
    EXPECT_EQ(o.message, "分割完了！処理ファイル数 1\n通常のファイルでないため飛ばしたファイル数 1\n" +
                             layout::dataFile(app, 7203).string() + " (" + file_text::kNotRegular + ")");
    EXPECT_EQ(app.processedCount, 1);
}

TEST_F(YearSplitJobTest, YearFileThatCannotBeCreatedStopsAndNamesIt) {
    writeSeries(layout::dataFile(app, 7203), series({rec(20051230), rec(20061201)}));
    writeFile(layout::sepYearFolder(app, 2006), "a file where the year folder goes");
    YearSplitJob job(app);
    const JobOutcome o = runToEnd(job);
    EXPECT_EQ(o.state, JobState::Finished);
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::Failed);
    ASSERT_TRUE(o.message);
    EXPECT_EQ(o.message->rfind("ファイル作成エラー！" + layout::sepFile(app, 2006, 7203).string(), 0), 0u)
        << *o.message;
    EXPECT_EQ(readFile(layout::sepYearFolder(app, 2006)), "a file where the year folder goes");
    EXPECT_EQ(app.processedCount, 0);
}

TEST_F(YearSplitJobTest, ChartFolderWithoutFilesCreatesOnlySep) {
    YearSplitJob job(app);
    EXPECT_EQ(runToEnd(job).message, "分割完了！処理ファイル数 0");
    EXPECT_TRUE(std::filesystem::is_empty(layout::sepFolder(app)));
}

}  // namespace
}  // namespace quarlink
