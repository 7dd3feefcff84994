#include <gtest/gtest.h>

#include "support/scripted_reader.h"
#include "core/jobs/update_job.h"
#include "core/store/atomic_file.h"
#include "core/store/number_text.h"
#include "support/fake_clock.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

struct UpdateFixture : ::testing::Test {
    ScratchChart folder;
    ScriptedReader reader;
    FixedClock clock{LocalDateTime{2006, 12, 5, 18, 0, 0}};
    UpdateJob job{folder.app, reader, test::onClock(clock)};

    // Runs start and ticks until the job leaves Running; returns the last outcome.
    JobOutcome run(std::vector<JobOutcome>* all = nullptr) {
        JobOutcome o = job.start();
        int guard = 0;
        while (o.state == JobState::Running && ++guard < 20000) {
            o = job.tick();
            if (all) all->push_back(o);
        }
        return o;
    }
    void nikkeiOn(std::int32_t date) { reader.quote[UpdateJob::kInfoSeekNikkei] = {1, PriceRecord{date, 1612345, 1620000, 1600000, 1615000, 0, 0, 0}}; }
};

}  // namespace

TEST_F(UpdateFixture, NikkeiFlagOffStillReadsTheMarketDateButWritesNothing) {
    folder.writeIndex("date=20061205\r\n");
    nikkeiOn(20061204);
    job.open();
    EXPECT_EQ(job.updateDate(), 20061205);
    std::vector<JobOutcome> ticks;
    const JobOutcome last = run(&ticks);
    ASSERT_EQ(reader.calls.size(), 1u);
    EXPECT_EQ(reader.calls[0], (ScriptedReader::Call{"infoseek", 100000018, 2}));
    EXPECT_EQ(job.updateDate(), 20061204);
    EXPECT_FALSE(std::filesystem::exists(layout::dataFile(folder.app, 101)));
    EXPECT_EQ(last.state, JobState::Finished);
    EXPECT_EQ(last.status, std::string(update_text::kFinishedSkip));
    EXPECT_EQ(ticks.front().progress, 1);
}

TEST_F(UpdateFixture, NikkeiFlagOnStoresTheIndexRecord) {
    folder.writeIndex("date=20061205\r\n");
    nikkeiOn(20061205);
    job.open();
    job.settings.nikkei = true;
    EXPECT_EQ(run().status, std::string(update_text::kFinished));
    const auto rows = folder.records(101);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (PriceRecord{20061205, 1612345, 1620000, 1600000, 1615000, 0, 0, 0}));
}

TEST_F(UpdateFixture, IndexOnlyVisitsListedCodesWithTheChosenReaderAndMode) {
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n7203,B,T1,100\r\n1332,C,T1,1000\r\n");
    nikkeiOn(20061205);
    reader.quote[1301] = {1, rec(20061205, 300, 50, 60)};
    reader.quote[7203] = {1, rec(20061205, 7000)};
    job.open();
    job.settings.source = SourceKind::Yahoo;
    job.settings.margin = false;
    std::vector<JobOutcome> ticks;
    const JobOutcome last = run(&ticks);
    EXPECT_EQ(reader.codesOf("yahoo"), (std::vector<int>{1301, 7203, 1332}));
    for (const auto& c : reader.calls)
        if (c.op == "yahoo") { EXPECT_EQ(c.mode, 0); }
    // 1332 answered -1: the job ends with the skip text, the file stays absent.
    EXPECT_EQ(last.status, std::string(update_text::kFinishedSkip));
    EXPECT_EQ(folder.records(1301).size(), 1u);
    EXPECT_TRUE(folder.records(1332).empty());
    // Progress is the code / 100 of the code ticked; the status names the next code.
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks[1].progress, 13);
    EXPECT_EQ(ticks[1].status, std::string("日々のデータ更新中：7203"));
    EXPECT_EQ(ticks[2].progress, 72);
}

TEST_F(UpdateFixture, RecordDateRuleKeepsTheFileAscendingAndLosesNothing) {
    struct Case {
        const char* name;
        std::vector<PriceRecord> before;
        PriceRecord page;
        std::vector<std::int32_t> afterDates;
        std::int32_t lastClose;
    };
    const Case cases[] = {
        {"new code gets a new file", {}, rec(20061205, 500), {20061205}, 500},
        {"same day overwrites", {rec(20061204, 400), rec(20061205, 450)}, rec(20061205, 500), {20061204, 20061205}, 500},
        {"later day appends", {rec(20061201, 400), rec(20061204, 450)}, rec(20061205, 500), {20061201, 20061204, 20061205}, 500},
        {"earlier page date is dropped", {rec(20061201, 400), rec(20061205, 450)}, rec(20061204, 500), {20061201, 20061205}, 450},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchChart f;
        ScriptedReader r;
        UpdateJob j{f.app, r, test::onClock(clock)};
        PriceSeries s;
        s.rows = c.before;
        if (!c.before.empty()) { ASSERT_TRUE(writePriceFile(layout::dataFile(f.app, 1301), s)); }
        f.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n");
        r.quote[UpdateJob::kInfoSeekNikkei] = {1, rec(20061205, 16000)};
        r.quote[1301] = {1, c.page};
        j.open();
        JobOutcome o = j.start();
        while (o.state == JobState::Running) o = j.tick();
        EXPECT_EQ(o.status, std::string(update_text::kFinished));
        // Only the dropped record is reported, as one code whose file ends later.
        const bool dropped = c.afterDates.back() > c.page.date;
        EXPECT_EQ(o.message, dropped ? std::optional<std::string>(formatInt(update_text::kLaterFiles, 1))
                                     : std::nullopt);
        const auto rows = f.records(1301);
        std::vector<std::int32_t> dates;
        for (const auto& row : rows) dates.push_back(row.date);
        EXPECT_EQ(dates, c.afterDates);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back().close, c.lastClose);
    }
}

TEST_F(UpdateFixture, RunningTwiceOnOneDayOverwrites) {
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n");
    nikkeiOn(20061205);
    reader.quote[1301] = {1, rec(20061205, 300)};
    job.open();
    run();
    reader.quote[1301] = {1, rec(20061205, 310)};
    job.open();
    run();
    const auto rows = folder.records(1301);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].close, 310);
}

TEST_F(UpdateFixture, AllCodesEndsAfter9999) {
    nikkeiOn(20061205);
    reader.quote[9999] = {1, rec(20061205, 100)};
    job.open();
    job.settings.indexOnly = false;
    const JobOutcome last = run();
    const auto codes = reader.codesOf("infoseek");
    ASSERT_EQ(codes.size(), 9001u);  // 101 (as the service's number) and 1000..9999
    EXPECT_EQ(codes[1], 1000);
    EXPECT_EQ(codes.back(), 9999);
    EXPECT_EQ(last.status, std::string(update_text::kFinished));
    EXPECT_EQ(folder.records(9999).size(), 1u);
}

TEST_F(UpdateFixture, StopsOnFailuresAndResumesAtTheSameCode) {
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n4321,B,T1,1000\r\n5000,C,T1,1000\r\n");
    nikkeiOn(20061205);
    reader.quote[1301] = {1, rec(20061205, 300)};
    reader.quoteQueue[4321] = {{-2, {}}, {-3, {}}};
    reader.quote[4321] = {1, rec(20061205, 400)};
    reader.quote[5000] = {1, rec(20061205, 500)};
    job.open();
    JobOutcome o = run();
    EXPECT_EQ(o.state, JobState::Stopped);
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::Connection);
    EXPECT_EQ(o.message, std::string(update_text::kDisconnected));
    EXPECT_EQ(job.currentCode(), 4321);
    o = run();
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::UnrecognisedPage);
    EXPECT_EQ(o.message, std::string(update_text::kFormatChanged));
    o = run();
    EXPECT_EQ(o.state, JobState::Finished);
    EXPECT_EQ(reader.codesOf("infoseek"), (std::vector<int>{100000018, 1301, 4321, 4321, 4321, 5000}));
    EXPECT_EQ(folder.records(5000).size(), 1u);
}

TEST_F(UpdateFixture, ResumeFromInANewRunStartsAtThatListEntry) {
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n4321,B,T1,1000\r\n5000,C,T1,1000\r\n");
    reader.quote[4321] = {1, rec(20061205, 400)};
    reader.quote[5000] = {1, rec(20061205, 500)};
    job.open();
    job.resumeFrom = 4321;
    EXPECT_EQ(run().state, JobState::Finished);
    EXPECT_EQ(reader.codesOf("infoseek"), (std::vector<int>{4321, 5000}));
}

TEST_F(UpdateFixture, MissingOrRejectedIndexEndsAfterTheNikkeiStep) {
    for (const bool rejected : {false, true}) {
        SCOPED_TRACE(rejected);
        ScratchChart f;
        ScriptedReader r;
        UpdateJob j{f.app, r, test::onClock(clock)};
        if (rejected) f.writeIndex("code=1\r\n1301,A,T1,1000\r\n");
        r.quote[UpdateJob::kInfoSeekNikkei] = {1, rec(20061205, 16000)};
        j.open();
        JobOutcome o = j.start();
        while (o.state == JobState::Running) o = j.tick();
        EXPECT_EQ(r.calls.size(), 1u);
        EXPECT_EQ(o.status, std::string(update_text::kFinishedSkip));
    }
}

TEST_F(UpdateFixture, SomethingOtherThanAPriceFileIsSkippedAndNamedAtTheEnd) {
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n");
    std::filesystem::create_directories(layout::dataFile(folder.app, 1301));
    nikkeiOn(20061205);
    reader.quote[1301] = {1, rec(20061205, 300)};
    job.open();
    const JobOutcome o = run();
    EXPECT_EQ(o.state, JobState::Finished);
    ASSERT_TRUE(o.message);
    EXPECT_NE(o.message->find("data/1301 (" + std::string(file_text::kNotRegular) + ")"), std::string::npos) << *o.message;
    EXPECT_TRUE(std::filesystem::is_empty(layout::dataFile(folder.app, 1301)));
}

// Whatever a reader hands over, a day after today never reaches a file: it
// would sit last and hold back every correct day until then.
TEST_F(UpdateFixture, QuoteDatedAfterTodayStopsAsAnUnrecognisedPageAndWritesNothing) {
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n");
    nikkeiOn(20061205);
    reader.quote[1301] = {1, rec(20061206, 300)};
    job.open();
    const JobOutcome o = run();
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::UnrecognisedPage);
    EXPECT_FALSE(std::filesystem::exists(layout::dataFile(folder.app, 1301)));
}

TEST_F(UpdateFixture, ResumeKeepsTheCodeListWhenIndexBecameUnreadable) {
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n4321,B,T1,1000\r\n");
    nikkeiOn(20061205);
    reader.quoteQueue[1301] = {{-2, {}}};
    reader.quote[1301] = {1, rec(20061205, 300)};
    reader.quote[4321] = {1, rec(20061205, 400)};
    job.open();
    EXPECT_EQ(run().stopReason, JobOutcome::StopReason::Connection);
    std::filesystem::remove(layout::indexFile(folder.app));
    EXPECT_EQ(run().status, std::string(update_text::kFinished));
    EXPECT_EQ(folder.records(4321).size(), 1u);
}
