#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

#include "core/jobs/margin_fill_job.h"
#include "core/jobs/update_job.h"
#include "core/store/atomic_file.h"
#include "support/fake_clock.h"
#include "support/scripted_reader.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

PriceSeries withMargins(const std::vector<std::int32_t>& dates, const std::vector<std::int32_t>& buys,
                        const std::vector<std::int32_t>& sells) {
    PriceSeries s;
    for (std::size_t i = 0; i < dates.size(); ++i) s.append(rec(dates[i], 100 + static_cast<int>(i), buys[i], sells[i]));
    return s;
}

std::vector<std::int32_t> column(const PriceSeries& s, std::int32_t PriceRecord::*field) {
    std::vector<std::int32_t> out;
    for (const auto& r : s.rows) out.push_back(r.*field);
    return out;
}

}  // namespace

TEST(FillMarginBalances, CarriesAndTakesTableBalances) {
    struct Case {
        const char* name;
        std::vector<std::int32_t> buys, sells;            // before, per record (dates 1..6 of March 2006)
        std::vector<std::int32_t> tDates, tBuys, tSells;  // the table
        std::vector<std::int32_t> wantBuys, wantSells;
    };
    const Case cases[] = {
        {"carry forward, buys and sells independently", {0, 0, 9, 0, 0, 0}, {0, 5000, 0, 0, 7000, 0}, {}, {}, {},
         {0, 0, 9, 9, 9, 9}, {0, 5000, 5000, 5000, 7000, 7000}},
        {"table date overrides and then carries", {1, 1, 1, 0, 0, 0}, {2, 2, 2, 0, 0, 0}, {20060302}, {70}, {80},
         {1, 70, 1, 1, 1, 1}, {2, 80, 2, 2, 2, 2}},
        {"last record on a table date", {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {20060306}, {5}, {6},
         {0, 0, 0, 0, 0, 5}, {0, 0, 0, 0, 0, 6}},
        {"no balances and no table dates stay zero", {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {20060310}, {5}, {6},
         {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PriceSeries s = withMargins({20060301, 20060302, 20060303, 20060304, 20060305, 20060306}, c.buys, c.sells);
        const PriceSeries before = s;
        fillMarginBalances(s, c.tDates, c.tBuys, c.tSells);
        EXPECT_EQ(column(s, &PriceRecord::marginBuy), c.wantBuys);
        EXPECT_EQ(column(s, &PriceRecord::marginSell), c.wantSells);
        for (std::size_t i = 0; i < s.size(); ++i) {
            EXPECT_EQ(s[i].date, before[i].date);
            EXPECT_EQ(s[i].close, before[i].close);
            EXPECT_EQ(s[i].volume, before[i].volume);
        }
    }
}

TEST(FillMarginBalances, WeeklyTableOverDailyRecords) {
    PriceSeries s;
    for (int d = 1; d <= 20; ++d) s.append(rec(20060300 + d, 100));
    fillMarginBalances(s, {20060303, 20060310, 20060317}, {3, 10, 17}, {30, 100, 170});
    for (int d = 1; d <= 20; ++d) {
        const int want = d < 3 ? 0 : d < 10 ? 3 : d < 17 ? 10 : 17;
        EXPECT_EQ(s[d - 1].marginBuy, want) << d;
        EXPECT_EQ(s[d - 1].marginSell, want * 10) << d;
    }
}

// A balance whose record date has no record (a holiday Friday) goes onto the
// next record, as in the initial data, and is carried from there.
TEST(FillMarginBalances, ABalanceOfADayWithoutARecordGoesOntoTheNext) {
    PriceSeries s = withMargins({20060301, 20060302, 20060306, 20060307}, {0, 0, 0, 0}, {0, 0, 0, 0});
    fillMarginBalances(s, {20060303}, {5}, {6});
    EXPECT_EQ(column(s, &PriceRecord::marginBuy), (std::vector<std::int32_t>{0, 0, 5, 5}));
    EXPECT_EQ(column(s, &PriceRecord::marginSell), (std::vector<std::int32_t>{0, 0, 6, 6}));
}

namespace {

struct MarginFixture : ::testing::Test {
    ScratchChart folder;
    ScriptedReader reader;
    MarginFillJob job{folder.app, reader, test::onClock(reader.clock())};

    JobOutcome run() {
        JobOutcome o = job.start();
        while (o.state == JobState::Running) o = job.tick();
        return o;
    }
    void writeFile(int code, const PriceSeries& s) {
        ASSERT_TRUE(writePriceFile(layout::dataFile(folder.app, code), s));
    }
};

}  // namespace

TEST_F(MarginFixture, IndexOnlyFillsListedFilesAndSkipsCodesWithoutFiles) {
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n1332,B,T1,1000\r\n");
    writeFile(1301, withMargins({20060301, 20060302, 20060303}, {0, 0, 0}, {0, 0, 0}));
    reader.history[1301] = {1, {rec(20060302, 0, 500, 600)}};
    reader.history[1332] = {1, {rec(20060302, 0, 1, 1)}};  // no price file
    job.open();
    EXPECT_EQ(job.currentCode(), 101);
    const JobOutcome o = run();
    EXPECT_EQ(reader.codesOf("margin"), (std::vector<int>{101, 1301, 1332}));
    EXPECT_EQ(reader.calls[1].mode, 6);
    // The last code had no file: the end is the quiet one.
    EXPECT_EQ(o.status, std::string(margin_fill_text::kFinishedSkip));
    const auto rows = folder.records(1301);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].marginBuy, 0);
    EXPECT_EQ(rows[1].marginBuy, 500);
    EXPECT_EQ(rows[2].marginSell, 600);
    EXPECT_FALSE(std::filesystem::exists(layout::dataFile(folder.app, 1332)));
}

// Something other than a price file at a code's name (a folder, a FIFO, a
// symlink) is named at the end and never read; the other codes are filled.
TEST_F(MarginFixture, OddFileIsNamedAndTheOtherCodesGoOn) {
    const auto path = layout::dataFile(folder.app, 1301);
    const std::pair<const char*, std::function<void()>> odd[] = {
        {"folder", [&] { std::filesystem::create_directories(path); }},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
        {"symlink", [&] { std::filesystem::create_symlink("/dev/zero", path); }},
    };
    for (const auto& [name, make] : odd) {
        SCOPED_TRACE(name);
        std::filesystem::remove_all(path);
        make();
        folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n1332,B,T1,1000\r\n");
        writeFile(1332, withMargins({20060301, 20060302}, {0, 0}, {0, 0}));
        reader.history[1332] = {1, {rec(20060302, 0, 500, 600)}};
        job.open();
        const JobOutcome o = run();
        EXPECT_EQ(o.state, JobState::Finished);
        EXPECT_NE(o.message.value_or("").find(path.string()), std::string::npos) << o.message.value_or("");
        EXPECT_EQ(folder.records(1332).back().marginBuy, 500);
    }
}

TEST_F(MarginFixture, AllCodesGoesFrom101To1000AndEndsAt9999) {
    writeFile(9999, withMargins({20060301}, {0}, {0}));
    reader.history[9999] = {1, {rec(20060301, 0, 5, 6)}};
    job.open();
    job.settings.indexOnly = false;
    const JobOutcome o = run();
    const auto codes = reader.codesOf("margin");
    ASSERT_EQ(codes.size(), 9001u);
    EXPECT_EQ(codes[1], 1000);
    EXPECT_EQ(codes.back(), 9999);
    EXPECT_EQ(o.status, std::string(margin_fill_text::kFinished));
}

TEST_F(MarginFixture, MissingIndexEndsAtTheFirstTick) {
    job.open();
    const JobOutcome o = run();
    EXPECT_EQ(reader.calls.size(), 1u);
    EXPECT_EQ(o.status, std::string(margin_fill_text::kFinishedSkip));
}

TEST_F(MarginFixture, ResumesAtTheFailedCode) {
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n4321,B,T1,1000\r\n");
    reader.historyFailures[4321] = {-2, -3};
    job.open();
    JobOutcome o = run();
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::Connection);
    EXPECT_EQ(o.message, std::string(margin_fill_text::kDisconnected));
    o = run();
    EXPECT_EQ(o.stopReason, JobOutcome::StopReason::UnrecognisedPage);
    EXPECT_EQ(o.message, std::string(margin_fill_text::kFormatChanged));
    o = run();
    EXPECT_EQ(o.state, JobState::Finished);
    EXPECT_EQ(reader.codesOf("margin"), (std::vector<int>{101, 1301, 4321, 4321, 4321}));
}

TEST_F(MarginFixture, KeepsWholeRecordsAfterAnEndMarker) {
    // A record dated -1 ends every reader; what follows it must survive the rewrite.
    PriceSeries s = withMargins({20060301, -1, 20060303}, {0, 0, 0}, {0, 0, 0});
    writeFile(1301, s);
    folder.writeIndex("date=20061205\r\n1301,A,T1,1000\r\n");
    reader.history[1301] = {1, {rec(20060301, 0, 5, 6)}};
    job.open();
    run();
    std::string bytes;
    ASSERT_TRUE(readWholeFile(layout::dataFile(folder.app, 1301), bytes));
    EXPECT_EQ(bytes.size(), 96u);
    const PriceSeries after = parsePriceSeries(bytes);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].marginBuy, 5);
    EXPECT_EQ(bytes.substr(32), serializePriceSeries(s).substr(32));
}
