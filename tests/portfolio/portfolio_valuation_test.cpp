#include "core/portfolio/portfolio_valuation.h"

#include <unistd.h>

#include "portfolio_test_support.h"

namespace quarlink::test {
namespace {

PriceRecord rec(std::int32_t date, std::int32_t high, std::int32_t low, std::int32_t close) {
    return PriceRecord{date, close, high, low, close, 100, 0, 0};
}

// A position row as the user typed it (UTF-8 texts).
PortfolioRow position(const std::string& date, const std::string& code, const std::string& price,
                      const std::string& units, const std::string& period = "現在まで") {
    PortfolioRow row(kPositionColumns);
    row[0] = date;
    row[1] = code;
    row[4] = sj("現物買");
    row[5] = price;
    row[6] = units;
    row[9] = sj(period);
    return row;
}

class ValuationTest : public PortfolioFolder {
protected:
    void SetUp() override {
        PortfolioFolder::SetUp();
        // The example series: the entry day, a day with a zero low, then two more.
        writePrices("1301", {rec(20060110, 900, 880, 890), rec(20060111, 950, 0, 940), rec(20060112, 980, 910, 960),
                             rec(20060113, 970, 940, 1050)});
    }
    bool recompute() {
        IndexTable index;
        EXPECT_TRUE(loadIndexTable(root / "chart" / "index.txt", index));
        return recomputePositions(rows, index, root / "chart" / "data", totals);
    }
    std::vector<PortfolioRow> rows;
    PositionTotals totals;
};

TEST_F(ValuationTest, MeasuredPeriodSkipsEntryDayAndZeroLow) {
    writeIndex("1301,水産,T1,1000\r\n");
    for (const char* period : {"2", "現在まで"}) {
        rows = {position("2006/01/10", "1301", "1000", "100", period)};
        ASSERT_TRUE(recompute());
        const PortfolioRow& r = rows[0];
        EXPECT_EQ(r[2], sj("水産")) << period;
        EXPECT_EQ(r[3], "T1");
        EXPECT_EQ(r[7], "100000");
        EXPECT_EQ(r[8], "1050(105.00)");
        EXPECT_EQ(r[10], "980(98.00)") << period;
        EXPECT_EQ(r[11], "910(91.00)") << period;
        EXPECT_EQ(r[12], "2006/01/12");
        EXPECT_EQ(r[13], "2006/01/12");
        EXPECT_EQ(r[9], sj(period));  // the user's column is kept
    }
    EXPECT_EQ(totals.holdings, "1");
    EXPECT_EQ(totals.currentValue, "105000");
    EXPECT_EQ(totals.purchaseValue, "100000");
}

TEST_F(ValuationTest, PeriodOfOneAndNoRecordAfterEntry) {
    writeIndex("1301,N,T1,1000\r\n");
    rows = {position("2006/01/10", "1301", "1000", "1", "1"), position("2006/01/13", "1301", "1000", "1")};
    ASSERT_TRUE(recompute());
    EXPECT_EQ(rows[0][10], "950(95.00)");
    EXPECT_EQ(rows[0][11], "---");  // the only measured day had no trading
    EXPECT_EQ(rows[0][12], "2006/01/11");
    EXPECT_EQ(rows[0][13], "---");
    for (int c : {10, 11, 12, 13}) EXPECT_EQ(rows[1][c], "---") << c;
    EXPECT_EQ(rows[1][8], "1050(105.00)");  // the current price is the last close whatever the period
}

TEST_F(ValuationTest, SplitHalvesEarlierRecordsBeforeTheSearch) {
    writeIndex("1301,N,T1,1000,S:20060112:2\r\n");
    writePrices("1301", {rec(20060110, 900, 880, 890), rec(20060111, 2000, 1800, 1900), rec(20060112, 980, 910, 960)});
    rows = {position("2006/01/10", "1301", "1000", "100")};
    ASSERT_TRUE(recompute());
    EXPECT_EQ(rows[0][10], "1000(100.00)");
    EXPECT_EQ(rows[0][12], "2006/01/11");
    EXPECT_EQ(rows[0][11], "900(90.00)");
}

TEST_F(ValuationTest, CodeAsTypedNamesThePriceFile) {
    writeIndex("0101,日経平均,T1,1\r\n");
    writePrices("0101", {rec(20060111, 16000, 15000, 15500)});
    writePrices("101", {rec(20060111, 17000, 16500, 16800)});
    rows = {position("2006/01/10", "101", "10000", "1")};
    ASSERT_TRUE(recompute());
    EXPECT_EQ(rows[0][2], sj("日経平均"));
    EXPECT_EQ(rows[0][8], "16800(168.00)");
}

TEST_F(ValuationTest, StopsAtACodeWithoutName) {
    writeIndex("1301,N,T1,1000\r\n");
    rows = {position("2006/01/10", "1301", "1000", "1"), position("2006/01/10", "9999", "1000", "1"),
            position("2006/01/10", "1301", "500", "2")};
    rows[2][7] = "old";
    totals = {"a", "b", "c"};
    EXPECT_FALSE(recompute());
    EXPECT_EQ(rows[0][7], "1000");
    EXPECT_EQ(rows[1][2], sj("対象コードなし"));
    EXPECT_EQ(rows[2][7], "old");
    EXPECT_EQ(totals.currentValue, "a");
    EXPECT_EQ(totals.holdings, "c");
}

TEST_F(ValuationTest, MissingPriceFileAndZeroEntryPrice) {
    writeIndex("1301,N,T1,1000\r\n2001,M,T2,1000\r\n");
    writePrices("2001", {});
    rows = {position("2006/01/10", "2001", "500", "10", "5"), position("2006/01/10", "1301", "0", "3"),
            position("2006/01/10", "13/../1301", "1", "1")};
    rows[2][1] = "1301/";  // not a plain number: never names a file
    ASSERT_TRUE(recompute());
    for (int c : {8, 10, 11, 12, 13}) EXPECT_EQ(rows[0][c], "---") << c;
    EXPECT_EQ(rows[0][9], "5");
    EXPECT_EQ(rows[0][7], "5000");
    EXPECT_EQ(rows[1][8], "1050(---)");
    EXPECT_EQ(rows[1][10], "980(---)");
    EXPECT_EQ(rows[2][8], "---");
    EXPECT_EQ(totals.currentValue, "3150");    // only the row with prices counts
    EXPECT_EQ(totals.purchaseValue, "5001");
    EXPECT_EQ(totals.holdings, "3");
}

TEST_F(ValuationTest, LargeAmountsDoNotWrap) {
    writeIndex("1301,N,T1,1000\r\n");
    rows = {position("2006/01/10", "1301", "100000", "100000")};
    ASSERT_TRUE(recompute());
    EXPECT_EQ(rows[0][7], "10000000000");
    EXPECT_EQ(totals.currentValue, "105000000");
}

class TradeTest : public PortfolioFolder {
protected:
    TradeRow trade(const std::string& units, const std::string& in, const std::string& out, const std::string& pl,
                   const std::string& marker, bool fresh, const std::string& code = "1301") {
        TradeRow t;
        t.columns[0] = "2006/01/10";
        t.columns[1] = code;
        t.columns[5] = in;
        t.columns[6] = units;
        t.columns[9] = out;
        t.columns[11] = pl;
        t.columns[12] = sj(marker);
        t.fresh = fresh;
        return t;
    }
    bool recompute() {
        IndexTable index;
        readIndexTable(sj("date=0\r\n1301,N,T1,1000\r\n"), index);
        return recomputeTrades(trades, index, prompter, totals);
    }
    std::vector<TradeRow> trades;
    TradeTotals totals;
};

TEST_F(TradeTest, AutomaticProfitRules) {
    struct Case {
        const char* pl;
        const char* marker;
        bool fresh;
        const char* expectedPl;
        const char* expectedMarker;
        bool filled;
    };
    const Case cases[] = {
        {"", "済", false, "30000", "未", true},        // empty is filled whatever the marker
        {"", "未", false, "30000", "未", true},
        {"-5000", "未", false, "-5000", "未", false},  // a saved "未" with a value stays
        {"-5000", "未", true, "30000", "未", true},    // a fresh "未" is refilled
        {"-5000", "済", true, "-5000", "済", false},   // settled is never replaced
    };
    for (const Case& c : cases) {
        prompter.messages.clear();
        trades = {trade("300", "1000", "1100", c.pl, c.marker, c.fresh)};
        ASSERT_TRUE(recompute());
        EXPECT_EQ(trades[0].columns[7], "300000");
        EXPECT_EQ(trades[0].columns[10], "330000");
        EXPECT_EQ(trades[0].columns[11], c.expectedPl) << c.pl << c.marker << c.fresh;
        EXPECT_EQ(trades[0].columns[12], sj(c.expectedMarker));
        EXPECT_EQ(prompter.messages.size(), c.filled ? 1u : 0u);
    }
}

TEST_F(TradeTest, FreshUnsettledRowIsRefilledAtEveryRecompute) {
    trades = {trade("1", "1", "1", "9", "済", false), trade("300", "1000", "1100", "-5000", "未", true)};
    trades[1].columns[4] = sj("信用売");
    ASSERT_TRUE(recompute());
    trades[1].columns[11] = "7";
    ASSERT_TRUE(recompute());
    EXPECT_EQ(trades[1].columns[11], "30000");
    EXPECT_EQ(prompter.messages, (std::vector<std::string>{"差損益が自動挿入されました。 LINE:1",
                                                           "差損益が自動挿入されました。 LINE:1"}));
    EXPECT_EQ(totals.profit, "30009");
    EXPECT_EQ(totals.tradeCount, "2");
}

TEST_F(TradeTest, TotalsAndStopAtUnknownCode) {
    trades = {trade("1", "0", "0", "30000", "済", false), trade("100", "1000", "880", "", "未", false)};
    ASSERT_TRUE(recompute());
    EXPECT_EQ(trades[1].columns[11], "-12000");
    EXPECT_EQ(totals.profit, "18000");

    trades.push_back(trade("1", "1", "1", "", "未", false, "0"));
    trades.push_back(trade("1", "1", "5", "", "未", false));
    prompter.messages.clear();
    EXPECT_FALSE(recompute());
    EXPECT_EQ(trades[2].columns[2], sj("対象コードなし"));
    EXPECT_EQ(trades[3].columns[11], "");
    EXPECT_EQ(totals.tradeCount, "2");
    EXPECT_TRUE(prompter.messages.empty());
}

// Amounts beyond the 32-bit range are kept whole, so the totals summing them
// must read them whole too.
TEST_F(TradeTest, LargeProfitsAddUpWhole) {
    trades = {trade("100000", "100000", "0", "", "未", false), trade("1", "1", "1", "-3000000000", "済", false)};
    ASSERT_TRUE(recompute());
    EXPECT_EQ(trades[0].columns[7], "10000000000");
    EXPECT_EQ(trades[0].columns[11], "-10000000000");
    EXPECT_EQ(totals.profit, "-13000000000");
}

}  // namespace
}  // namespace quarlink::test
