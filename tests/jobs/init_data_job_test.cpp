#include <gtest/gtest.h>

#include "core/jobs/init_data_job.h"
#include "support/scripted_reader.h"
#include "core/store/atomic_file.h"
#include "support/fake_clock.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

PriceSeries align(const std::vector<std::int32_t>& calendar, const std::vector<PriceRecord>& rows) {
    std::vector<std::int32_t> d, o, h, l, c, v, b, s;
    for (const auto& r : rows) {
        d.push_back(r.date);
        o.push_back(r.open);
        h.push_back(r.high);
        l.push_back(r.low);
        c.push_back(r.close);
        v.push_back(r.volume);
        b.push_back(r.marginBuy);
        s.push_back(r.marginSell);
    }
    return alignToCalendar(calendar, d, o, h, l, c, v, b, s);
}

struct InitFixture : ::testing::Test {
    ScratchChart folder;
    ScriptedReader reader;
    FixedClock clock{LocalDateTime{2006, 12, 5}};
    InitDataJob job{folder.app, reader, test::onClock(clock)};

    std::filesystem::path init(int code) const { return layout::initFile(folder.app, code); }
    std::vector<PriceRecord> initRows(int code) const {
        PriceSeries s;
        if (!loadPriceFile(init(code), s)) return {};
        return s.rows;
    }
    JobOutcome drive(JobOutcome o) {
        while (o.state == JobState::Running) o = job.tick();
        return o;
    }
};

}  // namespace

TEST(AlignToCalendar, FillersCarriedBalancesAndFirstTradingDay) {
    const std::vector<std::int32_t> calendar{20010227, 20010228, 20010301, 20010302, 20010305, 20010306};
    const PriceSeries out = align(calendar, {
                                                rec(20010301, 100, 0, 3000),
                                                rec(20010303, 999),  // not a calendar day: dropped
                                                rec(20010305, 110, 5000, 0),
                                            });
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].date, 20010301);  // nothing before the first trading day
    EXPECT_EQ(out[1], (PriceRecord{20010302, 0, 0, 0, 0, 0, 0, 3000}));
    EXPECT_EQ(out[2].date, 20010305);
    EXPECT_EQ(out[2].marginSell, 3000);  // zero takes the carried balance
    EXPECT_EQ(out[2].marginBuy, 5000);
    EXPECT_EQ(out[3], (PriceRecord{20010306, 0, 0, 0, 0, 0, 5000, 3000}));
    EXPECT_TRUE(align({}, {rec(20010301, 1)}).empty());
    EXPECT_TRUE(align(calendar, {}).empty());
}

TEST_F(InitFixture, OpenCreatesTheInitFolderAndOffersYearsUpToNow) {
    const JobOutcome o = job.open();
    EXPECT_TRUE(std::filesystem::is_directory(folder.app.workDir / "init"));
    EXPECT_EQ(o.status, std::string(init_data_text::kInitialStatus));
    const auto years = job.startYears();
    EXPECT_EQ(years.front(), 1990);
    EXPECT_EQ(years.back(), 2006);
}

TEST_F(InitFixture, CalendarIsReadEvenWithoutIndexFilesAndIndexFilesWhenAsked) {
    reader.history[998407] = {1, {rec(20060104, 16000), rec(20060105, 16100)}};
    reader.history[998405] = {1, {rec(20060104, 1600), rec(20060105, 1610)}};
    for (const bool flags : {false, true}) {
        SCOPED_TRACE(flags);
        reader.calls.clear();
        job.open();
        job.settings.nikkei = flags;
        job.settings.topix = flags;
        job.settings.startYear = 2005;
        const JobOutcome o = job.startCreate();
        EXPECT_EQ(o.state, JobState::Running);
        EXPECT_EQ(o.status, std::string(init_data_text::kCalendarStatus));
        EXPECT_EQ(job.calendar(), (std::vector<std::int32_t>{20060104, 20060105}));
        EXPECT_EQ(reader.lastStartYear, 2005);
        EXPECT_EQ(reader.codesOf("history"), (flags ? std::vector<int>{998407, 998405} : std::vector<int>{998407}));
        EXPECT_EQ(reader.calls[0].mode, 2);
        EXPECT_EQ(std::filesystem::exists(init(101)), flags);
        EXPECT_EQ(std::filesystem::exists(init(102)), flags);
    }
    const auto topix = initRows(102);
    ASSERT_EQ(topix.size(), 2u);
    EXPECT_EQ(topix[1], (PriceRecord{20060105, 1605, 1620, 1600, 1610, 0, 0, 0}));
}

TEST_F(InitFixture, IndexHistoryFailuresEndTheStartWithTheirMessages) {
    struct Case {
        int nikkei, topix;
        const char* message;
        JobOutcome::StopReason reason;
    };
    const Case cases[] = {
        {-1, 1, init_data_text::kNikkeiNoData, JobOutcome::StopReason::Failed},
        {-2, 1, init_data_text::kCommError, JobOutcome::StopReason::Connection},
        {-3, 1, init_data_text::kNikkeiFormat, JobOutcome::StopReason::UnrecognisedPage},
        {1, -1, init_data_text::kTopixNoData, JobOutcome::StopReason::Failed},
        {1, -2, init_data_text::kCommError, JobOutcome::StopReason::Connection},
        {1, -3, init_data_text::kTopixFormat, JobOutcome::StopReason::UnrecognisedPage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ScriptedReader r;
        InitDataJob j{folder.app, r, test::onClock(clock)};
        r.history[998407] = {1, {rec(20060104, 16000)}};
        r.history[998405] = {1, {rec(20060104, 1600)}};
        if (c.nikkei != 1) r.historyFailures[998407] = {c.nikkei};
        if (c.topix != 1) r.historyFailures[998405] = {c.topix};
        j.open();
        j.settings.topix = true;
        const JobOutcome o = j.startCreate();
        EXPECT_EQ(o.state, JobState::Stopped);
        EXPECT_EQ(o.message, std::string(c.message));
        EXPECT_EQ(o.stopReason, c.reason);
        EXPECT_EQ(j.mode(), InitDataJob::Mode::None);
        // The calendar status is shown once the Nikkei history is in, before TOPIX is read.
        if (c.nikkei == 1)
            EXPECT_EQ(o.status, std::string(init_data_text::kCalendarStatus));
        else
            EXPECT_FALSE(o.status.has_value());
    }
}

TEST_F(InitFixture, CreatesAlignedFilesAndEndsAfterAskingFor10000) {
    reader.history[998407] = {1, {rec(20060104, 16000), rec(20060105, 16100), rec(20060106, 16200)}};
    reader.history[1301] = {1, {rec(20060105, 300, 10, 20)}};
    reader.history[9999] = {1, {}};
    job.open();
    job.settings.margin = false;
    const JobOutcome o = drive(job.startCreate());
    EXPECT_EQ(o.state, JobState::Finished);
    EXPECT_EQ(o.status, std::string(init_data_text::kCreateFinished));
    const auto codes = reader.codesOf("history");
    EXPECT_EQ(codes[1], 1000);
    EXPECT_EQ(codes.back(), 10000);
    EXPECT_EQ(reader.calls[2].mode, 0);
    const auto rows = initRows(1301);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (PriceRecord{20060106, 0, 0, 0, 0, 0, 10, 20}));
    // A history without rows gives no file, which the transfer would put over the chart's.
    EXPECT_FALSE(std::filesystem::exists(init(9999)));
}

TEST_F(InitFixture, StopShowsTheCreateCodeAndTheNextStartRewritesTheResumeCode) {
    reader.history[998407] = {1, {rec(20060104, 16000)}};
    reader.history[4321] = {1, {rec(20060104, 300)}};
    reader.history[4322] = {1, {rec(20060104, 310)}};
    job.open();
    job.setResumeCode(4321);
    ASSERT_EQ(job.startCreate().state, JobState::Running);
    const JobOutcome written = job.tick();
    EXPECT_EQ(written.status, std::string("初期化データ作成中：4321"));
    EXPECT_EQ(written.progress, (4321 - 1000) / 9 / 10);
    const JobOutcome stopped = job.stop();
    EXPECT_EQ(stopped.status, std::string("転送停止中：コード（4322）"));
    reader.calls.clear();
    job.startCreate();
    job.tick();
    EXPECT_EQ(reader.codesOf("history"), (std::vector<int>{998407, 4321}));
}

TEST_F(InitFixture, ConnectionAndFormatErrorsStopResumably) {
    reader.history[998407] = {1, {rec(20060104, 16000)}};
    reader.history[2000] = {1, {rec(20060104, 300)}};
    reader.historyFailures[2000] = {-2, -3};
    job.open();
    job.setResumeCode(2000);
    JobOutcome o = drive(job.startCreate());
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::Connection);
    EXPECT_EQ(o.status, std::string(init_data_text::kErrorStatus));
    EXPECT_EQ(o.message, std::string(init_data_text::kDisconnected));
    o = drive(job.startCreate());
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::UnrecognisedPage);
    EXPECT_EQ(o.status, std::string(init_data_text::kFormatStatus));
    EXPECT_EQ(o.message, std::string("FORMAT CHANGED : Value 5 form HtmlValueFormat"));
    EXPECT_EQ(job.resumeCode(), 2000);
}

TEST_F(InitFixture, UncreatableInitFileStopsWithItsNameAndResumes) {
    reader.history[998407] = {1, {rec(20060104, 16000)}};
    reader.history[3000] = {1, {rec(20060104, 300)}};
    job.open();
    job.setResumeCode(3000);
    std::filesystem::create_directories(init(3000));  // a folder where the file should go
    JobOutcome o = drive(job.startCreate());
    EXPECT_EQ(o.state, JobState::Stopped);
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::Failed);
    ASSERT_TRUE(o.message);
    EXPECT_NE(o.message->find(init(3000).string()), std::string::npos);
    EXPECT_EQ(job.resumeCode(), 3000);
    std::filesystem::remove(init(3000));
    o = drive(job.startCreate());
    EXPECT_EQ(o.state, JobState::Finished);
    EXPECT_EQ(initRows(3000).size(), 1u);
}

TEST_F(InitFixture, TransferVisits0To10000AndDeleteRemovesTheFiles) {
    job.open();
    for (const int code : {0, 101, 102, 1301, 9999}) {
        PriceSeries s;
        s.append(rec(20060104, code + 1));
        ASSERT_TRUE(writePriceFile(init(code), s));
    }
    int ticks = 0;
    JobOutcome o = job.startTransfer();
    std::vector<std::string> statuses;
    while (o.state == JobState::Running) {
        o = job.tick();
        ++ticks;
        if (o.status) statuses.push_back(*o.status);
    }
    EXPECT_EQ(ticks, 10001);
    EXPECT_EQ(o.status, std::string(init_data_text::kTransferFinished));
    EXPECT_EQ(statuses.front(), std::string("初期化データ転送中...0000"));
    for (const int code : {0, 101, 102, 1301, 9999}) {
        const auto rows = folder.records(code);
        ASSERT_EQ(rows.size(), 1u) << code;
        EXPECT_EQ(rows[0].close, code + 1);
    }
    o = job.startDelete();
    while (o.state == JobState::Running) o = job.tick();
    EXPECT_EQ(o.status, std::string(init_data_text::kDeleteFinished));
    EXPECT_TRUE(std::filesystem::is_empty(folder.app.workDir / "init"));
}

TEST_F(InitFixture, TransferNeverPutsAnInitFileWithoutARecordOverAPriceFile) {
    job.open();
    struct Case {
        int code;
        std::string init;  // bytes of init/NNNN
        bool replaced;
    };
    PriceSeries one;
    one.append(rec(20060104, 7));
    const std::string whole = serializePriceSeries(one);
    const Case cases[] = {{1301, "", false}, {1302, whole.substr(0, 31), false}, {1303, whole, true}};
    for (const Case& c : cases) {
        ASSERT_TRUE(replaceFileAtomically(init(c.code), c.init));
        PriceSeries old;
        old.append(rec(20050104, 1));
        old.append(rec(20050105, 2));
        ASSERT_TRUE(writePriceFile(layout::dataFile(folder.app, c.code), old));
    }
    const JobOutcome o = drive(job.startTransfer());
    EXPECT_EQ(o.state, JobState::Finished);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(folder.records(c.code).size(), c.replaced ? 1u : 2u);
        EXPECT_TRUE(std::filesystem::exists(init(c.code)));
        EXPECT_EQ(o.message.value_or("").find(init(c.code).string()) != std::string::npos, !c.replaced);
    }
}
