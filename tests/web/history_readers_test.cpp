#include <gtest/gtest.h>

#include "support/scripted_fetcher.h"
#include "core/web/html_value_format.h"
#include "support/fake_clock.h"

namespace quarlink {
namespace {

using test::ScriptedFetcher;
using Series = std::vector<std::int32_t>;

struct PriceRow {
    const char* date;  // 2006年2月28日
    const char* open;
    const char* high;
    const char* low;
    const char* close;
    const char* volume;
};

std::string priceTable(std::initializer_list<PriceRow> rows) {
    std::string page = "<table><tr><th>日付</th></tr>\n";
    for (const auto& r : rows)
        page += std::string("<tr align=right bgcolor=\"#ffffff\"><td><small>") + r.date + "</small></td><td><small>" +
                r.open + "</small></td><td><small>" + r.high + "</small></td><td><small>" + r.low +
                "</small></td><td><small><b>" + r.close + "</b></small></td><td><small>" + r.volume +
                "</small></td><td><small>" + r.close + "</small></td></tr>\n";
    return page + "</table>";
}

std::string marginRows(std::initializer_list<std::array<const char*, 3>> rows) {  // date, sell, buy
    std::string page = "<table>\n";
    for (const auto& r : rows)
        page += std::string("<tr align=right  bgcolor=\"#ffffff\"><td><small>") + r[0] + "</small></td><td><small>" +
                r[1] + "</small></td><td><small>" + r[2] + "</small></td><td><small>1.00</small></td></tr>\n";
    return page + "</table>";
}

const char* kNoPrices = "<p>この検索期間の価格データはありません。</p>";

class HistoryReaderTest : public ::testing::Test {
protected:
    ScriptedFetcher fetcher;
    Endpoints endpoints;
    FixedClock clock{LocalDateTime{2006, 3, 15, 10, 0, 0}};
    HtmlValueFormat reader{fetcher, endpoints, clock};
    Series dates, opens, highs, lows, closes, volumes, buys, sells;

    int history(int code, int startYear, int mode) {
        return reader.ReadPriceHistory(code, startYear, mode, dates, opens, highs, lows, closes, volumes, buys, sells);
    }
    int margin(int code, int months) { return reader.ReadMarginHistory(code, months, dates, buys, sells); }
};

TEST_F(HistoryReaderTest, WalksTwoMonthWindowsAndAppendsOldestFirst) {
    fetcher.fallback = utf8ToEucJp(kNoPrices);
    fetcher.hasFallback = true;
    fetcher.page("/t?c=2005&a=11&b=1&f=2005&d=12&e=31&g=d&s=1301",
                 priceTable({{"2005年12月30日", "1,000", "1,100", "990", "1,050", "5,000"},
                             {"2005年11月1日", "900", "950", "890", "1,234.5", "12,300.7"}}));
    fetcher.page("/t?c=2006&a=1&b=1&f=2006&d=2&e=31&g=d&s=1301",
                 priceTable({{"2006年2月28日", "1", "2", "3", "4", "5"}, {"2006年1月4日", "6", "7", "8", "9", "10"}}));
    ASSERT_EQ(history(1301, 2005, 0), 1);
    EXPECT_EQ(fetcher.requests.size(), 12u);
    EXPECT_EQ(fetcher.requests.front(), "table.yahoo.co.jp:80/t?c=2005&a=1&b=1&f=2005&d=2&e=31&g=d&s=1301");
    EXPECT_EQ(fetcher.requests.back(), "table.yahoo.co.jp:80/t?c=2006&a=11&b=1&f=2006&d=12&e=31&g=d&s=1301");
    EXPECT_EQ(dates, (Series{20051101, 20051230, 20060104, 20060228}));
    EXPECT_EQ(closes, (Series{12345, 1050, 9, 4}));
    EXPECT_EQ(volumes, (Series{12300, 5000, 10, 5}));
    EXPECT_EQ(opens, (Series{900, 1000, 6, 1}));
    EXPECT_EQ(buys, (Series{0, 0, 0, 0}));
}

TEST_F(HistoryReaderTest, StartYearAfterThisYearReadsNothing) {
    dates = {1};
    EXPECT_EQ(history(1301, 2007, 0), 1);
    EXPECT_TRUE(dates.empty());
    EXPECT_TRUE(fetcher.requests.empty());
}

TEST_F(HistoryReaderTest, ModeTwoNeedsNoVolumeCell) {
    fetcher.fallback = utf8ToEucJp(kNoPrices);
    fetcher.hasFallback = true;
    fetcher.page("/t?c=2006&a=1&b=1&f=2006&d=2&e=31&g=d&s=998407",
                 "<tr align=right bgcolor=\"#ffffff\"><td><small>2006年1月4日</small></td><td><small>16,100.00"
                 "</small></td><td><small>16,200.00</small></td><td><small>16,000.00</small></td><td><small><b>"
                 "16,123.45</b></small></td></tr>");
    EXPECT_EQ(history(998407, 2006, 2), 1);
    EXPECT_EQ(closes, Series{1612345});
    EXPECT_EQ(volumes, Series{0});
    EXPECT_EQ(history(998407, 2006, 0), -3) << "mode 0 needs the volume cell";
}

TEST_F(HistoryReaderTest, ModeOneMergesMarginRowsOnEqualDatesOnly) {
    fetcher.fallback = utf8ToEucJp(kNoPrices);
    fetcher.hasFallback = true;
    fetcher.page("/t?c=2006&a=1&b=1&f=2006&d=2&e=31&g=d&s=1301",
                 priceTable({{"2006年2月27日", "1", "1", "1", "1", "1"},
                             {"2006年2月24日", "1", "1", "1", "1", "1"},
                             {"2006年2月23日", "1", "1", "1", "1", "1"}}));
    fetcher.page("/bt?c=2006&a=1&b=1&f=2006&d=2&e=31&g=d&s=1301",
                 marginRows({{"2006年2月25日", "7", "7"}, {"2006年2月24日", "1,200", "35,000"}}));
    ASSERT_EQ(history(1301, 2006, 1), 1);
    EXPECT_EQ(dates, (Series{20060223, 20060224, 20060227}));
    EXPECT_EQ(buys, (Series{0, 35000, 0}));
    EXPECT_EQ(sells, (Series{0, 1200, 0}));

    fetcher.page("/bt?c=2006&a=1&b=1&f=2006&d=2&e=31&g=d&s=1301", "<p>この検索期間の信用残データはありません。</p>");
    ASSERT_EQ(history(1301, 2006, 1), 1);
    EXPECT_EQ(buys, (Series{0, 0, 0}));

    fetcher.page("/bt?c=2006&a=1&b=1&f=2006&d=2&e=31&g=d&s=1301", "<p>銘柄コードを入力してください。</p>");
    EXPECT_EQ(history(1301, 2006, 1), -1);
}

TEST_F(HistoryReaderTest, NoDataKeepsEarlierWindowsAndFailedFetchGivesMinusTwo) {
    fetcher.page("/t?c=2006&a=1&b=1&f=2006&d=2&e=31&g=d&s=1301", priceTable({{"2006年1月4日", "1", "1", "1", "1", "1"}}));
    fetcher.page("/t?c=2006&a=3&b=1&f=2006&d=4&e=31&g=d&s=1301", "<p>指定された銘柄コード 1301 のデータはありません。</p>");
    EXPECT_EQ(history(1301, 2006, 0), -1);
    EXPECT_EQ(dates, Series{20060104});
    fetcher.pages.erase("/t?c=2006&a=3&b=1&f=2006&d=4&e=31&g=d&s=1301");
    EXPECT_EQ(history(1301, 2006, 0), -2);
    EXPECT_EQ(dates, Series{20060104});
}

TEST_F(HistoryReaderTest, EachMissingMarkerFailsWithItsStep) {
    const std::string good = priceTable({{"2006年1月4日", "1", "2", "3", "4", "5"}});
    struct Case {
        const char* from;
        const char* to;
        const char* message;  // nullptr: message unchanged
    } cases[] = {
        {"align=right bgcolor", "align=right  bgcolor", "Value 0"},
        {"2006年", "2006", "Value 1"},
        {"1月", "1", "Value 2"},
        {"4日", "4", "Value 3"},
        {"日</small></td><td><small>1</small></td><td><small>2</small></td><td><small>3</small></td><td><small><b>4"
         "</b></small></td><td><small>5</small></td><td><small>4</small></td></tr>",
         "日</small></td></tr>", "Value 4"},
        {"1</small></td><td><small>2</small></td><td><small>3</small></td><td><small><b>4</b></small></td><td><small>5"
         "</small></td><td><small>4</small></td></tr>",
         "1</small></td></tr>", "Value 5"},
        {"<b>4</b>", "4</b>", "Value 7"},
        {"4</b></small></td>", "4</small></td>", "Value 8"},
        {"<td><small>5</small></td><td><small>4</small>", "<td><small>5</small>", nullptr},
    };
    for (const auto& c : cases) {
        std::string page = good;
        const auto at = page.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        page.replace(at, std::string(c.from).size(), c.to);
        fetcher.page("/t?c=2006&a=1&b=1&f=2006&d=2&e=31&g=d&s=1301", page);
        reader.message = "before";
        EXPECT_EQ(history(1301, 2006, 0), -3) << c.from;
        EXPECT_EQ(reader.message, c.message ? std::string("FORMAT CHANGED : ") + c.message + " form HtmlValueFormat"
                                            : std::string("before"))
            << c.from;
    }
}

TEST_F(HistoryReaderTest, MarginHistoryWindowOrderAndNumbers) {
    struct Window {
        LocalDateTime today;
        int months;
        const char* path;
    } windows[] = {
        {{2006, 3, 15}, 6, "/bt?c=2005&a=9&b=1&f=2006&d=3&e=31&g=d&s=1301"},
        {{2006, 7, 1}, 6, "/bt?c=2006&a=1&b=1&f=2006&d=7&e=31&g=d&s=1301"},
        {{2006, 1, 10}, 6, "/bt?c=2005&a=7&b=1&f=2006&d=1&e=31&g=d&s=1301"},
        {{2006, 1, 10}, 25, "/bt?c=2003&a=12&b=1&f=2006&d=1&e=31&g=d&s=1301"},
    };
    const std::string table =
        marginRows({{"2006年3月24日", "1,234,500", "12.5"}, {"2006年3月17日", "2", "3"}, {"2006年3月10日", "4", "5"}});
    for (const auto& w : windows) {
        clock.set(w.today);
        fetcher.pages.clear();
        fetcher.page(w.path, table);
        ASSERT_EQ(margin(1301, w.months), 1) << w.path;
        EXPECT_EQ(dates, (Series{20060310, 20060317, 20060324}));
        EXPECT_EQ(sells, (Series{4, 2, 1234500}));
        EXPECT_EQ(buys, (Series{5, 3, 125}));
    }
}

TEST_F(HistoryReaderTest, MarginHistoryFailuresLeaveSeriesEmpty) {
    const char* path = "/bt?c=2005&a=9&b=1&f=2006&d=3&e=31&g=d&s=1301";
    struct Case {
        std::string page;
        int result;
        const char* message;
    } cases[] = {
        {marginRows({{"2006年3月24日", "1", "2"}}) + "この検索期間の信用残データはありません。", -1, "before"},
        {"銘柄コードを入力してください。", -1, "before"},
        {"<table></table>", -3, "FORMAT CHANGED : Shin 0 form HtmlValueFormat"},
        {marginRows({{"2006年3月24日", "1", "2"}}) +
             "<tr align=right  bgcolor=\"#ffffff\"><td><small>2006年3月17日</small></td><td><small>1</small></td>"
             "<td><small>2</small></td></tr>",
         -3, "FORMAT CHANGED : Shin 5 form HtmlValueFormat"},
        {"<tr align=right  bgcolor=\"#ffffff\"><td><small>2006年3月</small></td>", -3,
         "FORMAT CHANGED : Shin 3 form HtmlValueFormat"},
        {"<tr align=right  bgcolor=\"#ffffff\"><td><small>2006年3月1日</small></td><td><small>1</small></td>", -3,
         "before"},
    };
    for (const auto& c : cases) {
        fetcher.page(path, c.page);
        reader.message = "before";
        dates = {9};
        EXPECT_EQ(margin(1301, 6), c.result) << c.page;
        EXPECT_EQ(reader.message, c.message) << c.page;
        EXPECT_TRUE(dates.empty() && buys.empty() && sells.empty());
    }
    fetcher.pages.clear();
    EXPECT_EQ(margin(1301, 6), -2);
}

}  // namespace
}  // namespace quarlink
