#include "core/jobs/supplement_job.h"

#include <sys/stat.h>

#include "support/file_job_fixture.h"

namespace quarlink {
namespace {

using testing::FileJobFixture;
using Kind = SupplementJob::SourceKind;

class SupplementJobTest : public FileJobFixture {
protected:
    std::filesystem::path source() const { return root / "src"; }
    SupplementJob folderJob(bool overwrite) {
        SupplementJob job(app);
        job.open();
        job.settings.overwrite = overwrite;
        job.settings.sourceKind = Kind::Folder;
        job.settings.folderText = source().string();
        return job;
    }
    PriceSeries target(int code) { return parsePriceSeries(readFile(layout::dataFile(app, code))); }
};

struct MergeCase {
    const char* name;
    bool overwrite;
    std::vector<PriceRecord> target, source, expected;
};

TEST_F(SupplementJobTest, MergesByDate) {
    const auto r = FileJobFixture::rec;
    const MergeCase cases[] = {
        {"keep target on same date", false,
         {r(20061201, 1), r(20061204, 2)}, {r(20061201, 9), r(20061205, 3)},
         {r(20061201, 1), r(20061204, 2), r(20061205, 3)}},
        {"source wins on same date", true,
         {r(20061201, 1), r(20061204, 2)}, {r(20061201, 9), r(20061205, 3)},
         {r(20061201, 9), r(20061204, 2), r(20061205, 3)}},
        {"older source records go in front", false,
         {r(20061201, 1), r(20061204, 2)}, {r(20061129, 5), r(20061130, 6)},
         {r(20061129, 5), r(20061130, 6), r(20061201, 1), r(20061204, 2)}},
        {"duplicate new date, no overwrite: first kept", false,
         {r(20061201, 1)}, {r(20061205, 3), r(20061205, 4)},
         {r(20061201, 1), r(20061205, 3)}},
        {"duplicate new date, overwrite: second replaces", true,
         {r(20061201, 1)}, {r(20061205, 3), r(20061205, 4)},
         {r(20061201, 1), r(20061205, 4)}},
        {"empty source leaves target", true, {r(20061201, 1)}, {}, {r(20061201, 1)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PriceSeries t, s;
        t.rows = c.target;
        s.rows = c.source;
        writeSeries(layout::dataFile(app, 7203), t);
        writeSeries(source() / "7203", s);
        SupplementJob job = folderJob(c.overwrite);
        const JobOutcome o = runToEnd(job);
        EXPECT_EQ(o.state, JobState::Finished);
        EXPECT_EQ(o.status, "補完完了：処理ファイル数 1 キャンセルボタンで終了");
        EXPECT_EQ(target(7203).rows, c.expected);
    }
}

TEST_F(SupplementJobTest, OnlyCodesPresentOnBothSidesTakePart) {
    writeSeries(source() / "1301", series({rec(20061201)}));
    writeSeries(source() / "7203", series({rec(20061201)}));
    writeSeries(layout::dataFile(app, 7203), series({rec(20061130)}));
    writeSeries(layout::dataFile(app, 9984), series({rec(20061130)}));
    SupplementJob job = folderJob(false);
    EXPECT_EQ(runToEnd(job).status, "補完完了：処理ファイル数 1 キャンセルボタンで終了");
    EXPECT_FALSE(std::filesystem::exists(layout::dataFile(app, 1301)));
    EXPECT_EQ(target(9984).size(), 1u);
    EXPECT_EQ(target(7203).size(), 2u);
}

TEST_F(SupplementJobTest, EmptyFolderTextDoesNotStart) {
    SupplementJob job(app);
    job.open();
    const JobOutcome o = job.start();
    EXPECT_EQ(o.state, JobState::Idle);
    EXPECT_EQ(o.message, "指定フォルダから補完する場合はフォルダ名を入力してください。");
    EXPECT_EQ(app.currentCode, 0);
}

TEST_F(SupplementJobTest, SourceKindsPickTheirFolders) {
    writeSeries(layout::initFile(app, 1301), series({rec(20050101)}));
    writeSeries(layout::backupFile(app, 1301), series({rec(20040101)}));
    writeSeries(layout::dataFile(app, 1301), series({rec(20061201)}));
    for (Kind kind : {Kind::Init, Kind::Backup}) {
        SupplementJob job(app);
        job.open();
        job.settings.sourceKind = kind;
        job.settings.folderText = "ignored";
        runToEnd(job);
        EXPECT_EQ(job.sourceFolder(), kind == Kind::Init ? layout::initFolder(app) : layout::backupFolder(app));
    }
    EXPECT_EQ(target(1301).rows, (std::vector{rec(20040101), rec(20050101), rec(20061201)}));
}

TEST_F(SupplementJobTest, FolderTextIsTakenFromTheWorkingFolderUnlessAbsolute) {
    writeSeries(app.workDir / "mine" / "1301", series({rec(20050101)}));
    writeSeries(source() / "1301", series({rec(20040101)}));
    const struct {
        const char* name;
        std::string folderText;
        std::filesystem::path expected;
        std::int32_t addedDate;
    } cases[] = {
        {"relative name", "mine", app.workDir / "mine", 20050101},
        {"absolute path", source().string(), source(), 20040101},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeSeries(layout::dataFile(app, 1301), series({rec(20061201)}));
        SupplementJob job = folderJob(false);
        job.settings.folderText = c.folderText;
        EXPECT_EQ(runToEnd(job).status, "補完完了：処理ファイル数 1 キャンセルボタンで終了");
        EXPECT_EQ(job.sourceFolder(), c.expected);
        EXPECT_EQ(target(1301).rows, (std::vector{rec(c.addedDate), rec(20061201)}));
    }
}

TEST_F(SupplementJobTest, StopAtThreeThousandResumesThereWithSameSettings) {
    for (int code : {1301, 2914, 3000, 7203}) {
        writeSeries(source() / layout::codeName(code), series({rec(20061201, 50)}));
        writeSeries(layout::dataFile(app, code), series({rec(20061201, 1), rec(20061204, 2)}));
    }
    SupplementJob job = folderJob(true);
    JobOutcome o = job.start();
    while (app.currentCode < 3000) o = job.tick();
    EXPECT_EQ(job.stop().status, "補完停止中：");
    EXPECT_EQ(app.processedCount, 2);
    EXPECT_EQ(target(3000)[0].close, 1);

    o = job.start();  // settings untouched, as the dialog keeps them disabled
    EXPECT_EQ(app.currentCode, 3000);
    o = job.tick();
    EXPECT_EQ(o.status, "株価データ補完中：3000");
    while (o.state == JobState::Running) o = job.tick();
    EXPECT_EQ(o.status, "補完完了：処理ファイル数 4 キャンセルボタンで終了");
    EXPECT_EQ(target(3000)[0].close, 50);

    // A start after finishing ends at once with the same text.
    o = job.start();
    EXPECT_EQ(job.tick().status, "補完完了：処理ファイル数 4 キャンセルボタンで終了");
}

TEST_F(SupplementJobTest, ProgressFollowsTheCode) {
    SupplementJob job = folderJob(false);
    job.start();
    app.currentCode = 9999;
    EXPECT_EQ(job.tick().progress, 99);
    EXPECT_EQ(job.tick().state, JobState::Finished);
}

TEST_F(SupplementJobTest, ReadOnlyTargetIsNotReplacedAndIsReported) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write read-only files";
    writeSeries(source() / "7203", series({rec(20061205)}));
    writeSeries(layout::dataFile(app, 7203), series({rec(20061201)}));
    const auto before = readFile(layout::dataFile(app, 7203));
    ::chmod(layout::dataFile(app, 7203).c_str(), 0444);
    SupplementJob job = folderJob(false);
    const JobOutcome o = runToEnd(job);
    EXPECT_EQ(o.status, "補完完了：処理ファイル数 0 キャンセルボタンで終了");
    EXPECT_EQ(o.message, "補完できなかったファイル数 1");
    EXPECT_EQ(readFile(layout::dataFile(app, 7203)), before);
}

TEST_F(SupplementJobTest, OddFileOnEitherSideIsSkippedNamedAndLosesNothing) {
    writeSeries(source() / "1301", series({rec(20061205)}));
    writeSeries(layout::dataFile(app, 1301) / "keep", series({rec(20061201)}));
    std::filesystem::create_directories(source() / "7203");
    writeSeries(layout::dataFile(app, 7203), series({rec(20061201)}));
    writeSeries(source() / "9984", series({rec(20061205)}));
    writeSeries(layout::dataFile(app, 9984), series({rec(20061201)}));
    const auto before = readFile(layout::dataFile(app, 7203));
    SupplementJob job = folderJob(false);
    std::vector<std::string> messages;
    const JobOutcome o = runToEnd(job, &messages);
    EXPECT_EQ(o.status, "補完完了：処理ファイル数 1 キャンセルボタンで終了");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("通常のファイルでないため飛ばしたファイル数 2\n", 0), 0u) << messages[0];
    const std::string odd = " (" + std::string(file_text::kNotRegular) + ")";
    EXPECT_NE(messages[0].find("data/1301" + odd), std::string::npos);
    EXPECT_NE(messages[0].find("7203" + odd), std::string::npos);
    EXPECT_EQ(job.failedCount(), 0);
    EXPECT_EQ(readFile(layout::dataFile(app, 7203)), before);
    EXPECT_EQ(target(9984).size(), 2u);
}

TEST_F(SupplementJobTest, MissingSourceFolderIsRefusedNamingIt) {
    writeSeries(layout::dataFile(app, 7203), series({rec(20061201)}));
    const auto before = readFile(layout::dataFile(app, 7203));
    SupplementJob job = folderJob(true);
    job.settings.folderText = (root / "nowhere").string();
    // Refused before it starts, naming the folder, instead of completing with 0 files.
    const JobOutcome o = runToEnd(job);
    EXPECT_EQ(o.state, JobState::Idle);
    EXPECT_EQ(o.message, "コピー元フォルダが見つからないかフォルダではありません：" + (root / "nowhere").string());
    EXPECT_EQ(readFile(layout::dataFile(app, 7203)), before);
}

}  // namespace
}  // namespace quarlink
