#include <gtest/gtest.h>

#include <array>

#include "support/scripted_fetcher.h"
#include "core/web/html_value_format.h"
#include "support/fake_clock.h"

namespace quarlink {
namespace {

using test::ScriptedFetcher;

struct Quote {
    int result = 0;
    std::array<std::int32_t, 8> v{-7, -7, -7, -7, -7, -7, -7, -7};  // date open high low close volume buy sell
};

struct Fields {
    std::string date = "12月5日";
    std::string price = "1,234";
    std::string volume = "12,345,000";
    std::string open = "1,200";
    std::string high = "1,250";
    std::string low = "1,190";
};

std::string yahooPage(const Fields& f) {
    return "<html><body>現在の日時：<b>" + f.date + " 15:00</b>\n<table><tr align=center valign=top><td>1301</td><td><b>" +
           f.price + "</b></td></tr></table>\n<table><tr><td>出来高<br>" + f.volume + "</td></tr>\n<tr><td>始値<br>" +
           f.open + "</td><td>高値<br>" + f.high + "</td><td>安値<br>" + f.low + "</td></tr></table></body></html>";
}

std::string marginTable(const std::string& sell, const std::string& buy) {
    return "<table><tr align=right  bgcolor=\"#ffffff\"><td><small>2006年12月1日</small></td><td><small>" + sell +
           "</small></td><td><small>" + buy + "</small></td><td><small>1.5</small></td></tr></table>";
}

class QuoteReaderTest : public ::testing::Test {
protected:
    ScriptedFetcher fetcher;
    Endpoints endpoints;
    FixedClock clock{LocalDateTime{2006, 12, 6, 10, 0, 0}};
    HtmlValueFormat reader{fetcher, endpoints, clock};

    Quote yahoo(int code, int mode) {
        Quote q;
        auto& v = q.v;
        q.result = reader.ReadYahooQuote(code, mode, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        return q;
    }
    Quote infoSeek(int code, int mode) {
        Quote q;
        auto& v = q.v;
        q.result = reader.ReadInfoSeekQuote(code, mode, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        return q;
    }
};

TEST_F(QuoteReaderTest, YahooReadsEachModeWithItsNumberRules) {
    Fields f;
    f.price = "16,123.45";
    fetcher.page("/q?s=1301&d=t", yahooPage(f));
    fetcher.page("/bt?c=2006&a=11&b=5&f=2006&d=12&e=5&g=d&s=1301", marginTable("1,200", "35,000.5"));
    struct Case {
        int mode;
        std::array<std::int32_t, 8> want;
    } cases[] = {
        {0, {20061205, 1200, 1250, 1190, 1612345, 12345000, 0, 0}},
        {1, {20061205, 1200, 1250, 1190, 1612345, 12345000, 35000, 1200}},
        {2, {20061205, 1200, 1250, 1190, 1612345, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const Quote q = yahoo(1301, c.mode);
        EXPECT_EQ(q.result, 1) << "mode " << c.mode;
        EXPECT_EQ(q.v, c.want) << "mode " << c.mode;
    }
    EXPECT_EQ(reader.year, 2006);
    EXPECT_EQ(reader.month, 12);
    EXPECT_EQ(fetcher.requests.front(), "quote.yahoo.co.jp:80/q?s=1301&d=t");
    EXPECT_EQ(fetcher.requests[2], "table.yahoo.co.jp:80/bt?c=2006&a=11&b=5&f=2006&d=12&e=5&g=d&s=1301");
}

TEST_F(QuoteReaderTest, YahooNoSuchCodeWinsOverEveryOtherMarker) {
    fetcher.page("/q?s=1301&d=t", yahooPage({}) + "一致する銘柄はありません。");
    const Quote q = yahoo(1301, 0);
    EXPECT_EQ(q.result, -1);
    EXPECT_EQ(q.v, Quote{}.v);
}

TEST_F(QuoteReaderTest, YahooOnlyExactlyThreeDashesMeansNoTrade) {
    struct Case {
        const char* price;
        int result;
    } cases[] = {{"---", -1}, {"-", -3}, {"--- ", -3}};
    for (const auto& c : cases) {
        Fields f;
        f.price = c.price;
        fetcher.page("/q?s=1301&d=t", yahooPage(f));
        reader.message.clear();
        const Quote q = yahoo(1301, 0);
        EXPECT_EQ(q.result, c.result) << c.price;
        if (c.result == -3) {
            EXPECT_EQ(reader.message, "FORMAT CHANGED : Value x");
            EXPECT_EQ(q.v[4], 0);
            EXPECT_EQ(q.v[1], 1200) << "outputs are written before the close check";
        }
    }
}

TEST_F(QuoteReaderTest, YahooEmptyCellsReadAsZeroButCloseZeroFails) {
    Fields f;
    f.open = "";
    f.high = "";
    f.low = "";
    fetcher.page("/q?s=1301&d=t", yahooPage(f));
    const Quote q = yahoo(1301, 0);
    EXPECT_EQ(q.result, 1);
    EXPECT_EQ(q.v[1], 0);
    EXPECT_EQ(q.v[4], 1234);
}

TEST_F(QuoteReaderTest, YahooModeTwoNeedsNoVolumeCell) {
    std::string page = yahooPage({});
    page.replace(page.find("<td>出来高<br>12,345,000</td>"), std::string("<td>出来高<br>12,345,000</td>").size(), "");
    fetcher.page("/q?s=1301&d=t", page);
    EXPECT_EQ(yahoo(1301, 2).result, 1);
    EXPECT_EQ(yahoo(1301, 0).result, -3);
    EXPECT_EQ(reader.message, "FORMAT CHANGED : Value 9");
}

TEST_F(QuoteReaderTest, YahooEachMissingMarkerNamesItsStep) {
    struct Case {
        const char* from;
        const char* to;
        const char* message;
    } cases[] = {
        {"現在の日時：", "", "FORMAT CHANGED : Value 0"},
        {"12月5日", "12/5", "FORMAT CHANGED : Value 21"},
        {"12月5日", "12月5", "FORMAT CHANGED : Value 22"},
        {"<tr align=center valign=top>", "<tr>", "FORMAT CHANGED : Value 1"},
        {"<b>1,234</b>", "1,234", "FORMAT CHANGED : Value 1"},
        {"1,234</b>", "1,234", "FORMAT CHANGED : Value 2"},
        {"出来高<br>12,345,000</td></tr>\n<tr><td>始値<br>1,200</td><td>高値<br>1,250</td><td>安値<br>1,190</td>",
         "出来高 12,345,000</td>", "FORMAT CHANGED : Value 1"},
        {"12,345,000</td></tr>\n<tr><td>始値<br>1,200</td><td>高値<br>1,250</td><td>安値<br>1,190</td>",
         "12,345,000", "FORMAT CHANGED : Value 10"},
        {"始値", "", "FORMAT CHANGED : Value 3"},
        {"安値<br>1,190</td>", "安値<br>1,190", "FORMAT CHANGED : Value 8"},
    };
    for (const auto& c : cases) {
        std::string page = yahooPage({});
        const auto at = page.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        page.replace(at, std::string(c.from).size(), c.to);
        fetcher.page("/q?s=1301&d=t", page);
        reader.message = "before";
        const Quote q = yahoo(1301, 0);
        EXPECT_EQ(q.result, -3) << c.from;
        EXPECT_EQ(reader.message, c.message) << c.from;
        EXPECT_EQ(q.v, Quote{}.v) << c.from;
    }
}

TEST_F(QuoteReaderTest, YahooMarginTableCases) {
    clock.set({2006, 1, 16, 9, 0, 0});
    Fields f;
    f.date = "1月15日";
    fetcher.page("/q?s=1301&d=t", yahooPage(f));
    const std::string path = "/bt?c=2005&a=12&b=15&f=2006&d=1&e=15&g=d&s=1301";

    fetcher.page(path, "<p>この検索期間の信用残データはありません。</p>" + marginTable("9", "9"));
    Quote q = yahoo(1301, 1);
    EXPECT_EQ(q.result, 1);
    EXPECT_EQ(q.v[0], 20060115);
    EXPECT_EQ(q.v[6], 0);
    EXPECT_EQ(q.v[7], 0);

    fetcher.page(path, "<tr align=right  bgcolor=\"#ffffff\"><td><small>2006年1月13日</small></td><td><small>1,200</small></td></tr>");
    reader.message = "before";
    EXPECT_EQ(yahoo(1301, 1).result, -3);
    EXPECT_EQ(reader.message, "before");

    fetcher.page(path, "<tr align=right bgcolor=\"#ffffff\"><td><small>x</small></td>");
    EXPECT_EQ(yahoo(1301, 1).result, -3);
    EXPECT_EQ(reader.message, "FORMAT CHANGED : Shin 0");

    fetcher.pages.erase(path);
    EXPECT_EQ(yahoo(1301, 1).result, -2) << "a failed margin fetch fails the read";
    fetcher.pages.clear();
    EXPECT_EQ(yahoo(1301, 0).result, -2);
}

TEST(QuoteYear, PageDateTakesTheYearNearestToday) {
    struct Case {
        LocalDateTime today;
        int month, day, year;
    } cases[] = {
        {{2007, 1, 5}, 12, 30, 2006}, {{2006, 12, 31}, 1, 4, 2007}, {{2006, 6, 15}, 12, 1, 2006},
        {{2006, 6, 15}, 1, 4, 2006},  {{2006, 3, 1}, 2, 28, 2006},  {{2006, 12, 6}, 13, 1, 2006},
        {{2006, 12, 6}, 0, 1, 2006},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HtmlValueFormat::quoteYear(c.today, c.month, c.day), c.year) << c.month << "/" << c.day;
}

TEST_F(QuoteReaderTest, YahooDateAcrossTheYearTurn) {
    clock.set({2007, 1, 5, 9, 0, 0});
    Fields f;
    f.date = "12月30日";
    fetcher.page("/q?s=1301&d=t", yahooPage(f));
    EXPECT_EQ(yahoo(1301, 0).v[0], 20061230);
}

// --- InfoSeek -------------------------------------------------------------

struct InfoFields {
    std::string price = "1,234";
    std::string date = "12/05";
    std::string high = "1,250";
    std::string low = "1,190";
    std::string open = "1,200";
    std::string volume = "12,300.5";
    std::string margin = "<tr><th>信用残 12月1日</th><td>1,200</td><td>35,000</td></tr>";
};

std::string infoSeekPage(const InfoFields& f) {
    return "<html><table><tr><th>現在値</th><td align=\"center\"><b>" + f.price + "</b>(" + f.date +
           " 15:00)</td></tr></table>\n<table><tr><td style=\"border-top:3px double #CCC;\">" + f.high + "</td><td>" +
           f.low + "</td><td>" + f.open + "</td><td>" + f.volume + "</td></tr>" + f.margin + "</table></html>";
}

TEST_F(QuoteReaderTest, InfoSeekReadsEachMode) {
    fetcher.page("/MnStock/1301/sresult/", infoSeekPage({}));
    struct Case {
        int mode;
        std::array<std::int32_t, 8> want;
    } cases[] = {
        {0, {20061205, 1200, 1250, 1190, 1234, 12300, 0, 0}},
        {1, {20061205, 1200, 1250, 1190, 1234, 12300, 35000, 1200}},
        {2, {20061205, 1200, 1250, 1190, 1234, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const Quote q = infoSeek(1301, c.mode);
        EXPECT_EQ(q.result, 1) << "mode " << c.mode;
        EXPECT_EQ(q.v, c.want) << "mode " << c.mode;
    }
    EXPECT_EQ(fetcher.requests.front(), "money.www.infoseek.co.jp:80/MnStock/1301/sresult/");
}

// Today is 2006-12-06: a day still to come, or no calendar day at all, is a
// page not understood, with the reader's date-step message.
TEST_F(QuoteReaderTest, BothReadersRefuseADateAfterTodayOrNoDay) {
    struct Case {
        int month, day, result;
    } cases[] = {{12, 6, 1}, {12, 5, 1}, {12, 7, -3}, {11, 31, -3}, {12, 61, -3}, {2, 30, -3}};
    for (const Case& c : cases) {
        Fields yf;
        yf.date = std::to_string(c.month) + "月" + std::to_string(c.day) + "日";
        fetcher.page("/q?s=1301&d=t", yahooPage(yf));
        InfoFields inf;
        inf.date = std::to_string(c.month) + "/" + std::to_string(c.day);
        fetcher.page("/MnStock/1301/sresult/", infoSeekPage(inf));
        reader.message.clear();
        EXPECT_EQ(yahoo(1301, 0).result, c.result) << yf.date;
        if (c.result == -3) EXPECT_EQ(reader.message, "FORMAT CHANGED : Value 22");
        reader.message.clear();
        EXPECT_EQ(infoSeek(1301, 0).result, c.result) << inf.date;
        if (c.result == -3) EXPECT_EQ(reader.message, "FORMAT CHANGED : Value 22 form HtmlValueFormat");
    }
}

TEST_F(QuoteReaderTest, InfoSeekNikkeiWithoutVolumeCell) {
    InfoFields f;
    f.price = "16,250.10";
    f.high = "16,300.00";
    f.low = "16,123.45";
    f.open = "16,200.00";
    f.date = "12/29";
    f.volume = "";
    f.margin = "";
    std::string page = infoSeekPage(f);
    page.replace(page.find("<td></td>"), 9, "");
    fetcher.page("/MnStock/100000018/sresult/", page);
    clock.set({2007, 1, 4, 9, 0, 0});
    const Quote q = infoSeek(100000018, 2);
    EXPECT_EQ(q.result, 1);
    EXPECT_EQ(q.v, (std::array<std::int32_t, 8>{20061229, 1620000, 1630000, 1612345, 1625010, 0, 0, 0}));
}

TEST_F(QuoteReaderTest, InfoSeekNoTradeNoCodeAndMissingMargin) {
    InfoFields f;
    f.margin = "";
    fetcher.page("/MnStock/1301/sresult/", infoSeekPage(f));
    Quote q = infoSeek(1301, 1);
    EXPECT_EQ(q.result, 1);
    EXPECT_EQ(q.v[6], 0);
    EXPECT_EQ(q.v[7], 0);

    f.price = "-";
    fetcher.page("/MnStock/1301/sresult/", infoSeekPage(f));
    EXPECT_EQ(infoSeek(1301, 0).result, -1);

    f.price = "---";
    fetcher.page("/MnStock/1301/sresult/", infoSeekPage(f));
    EXPECT_EQ(infoSeek(1301, 0).result, -3);
    EXPECT_EQ(reader.message, "FORMAT CHANGEDx : Value x finishvalue form HtmlValueFormat");

    fetcher.page("/MnStock/1301/sresult/", infoSeekPage({}) + "「1301」と一致するデータが見つかりませんでした。");
    EXPECT_EQ(infoSeek(1301, 1).result, -1);
}

TEST_F(QuoteReaderTest, InfoSeekEachMissingMarkerNamesItsStep) {
    struct Case {
        const char* from;
        const char* to;
        int mode;
        const char* message;
    } cases[] = {
        {"現在値", "", 0, "Value 0"},
        {"<td align=\"center\"><b>", "<td>", 0, "Value 1"},
        {"1,234</b>", "1,234", 0, "Value 2"},
        {"(12/05", "12/05", 0, "Value 20"},
        {"<td style=\"border-top:3px double #CCC;\">", "<td>", 0, "Value 3"},
        {"<td>35,000</td></tr></table>", "", 1, "Value 13"},
        {"35,000</td></tr></table>", "35,000", 1, "Value 14"},
        {"<td>1,200</td><td>35,000</td></tr></table>", "", 1, "Value 12"},
    };
    for (const auto& c : cases) {
        std::string page = infoSeekPage({});
        const auto at = page.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        page.replace(at, std::string(c.from).size(), c.to);
        fetcher.page("/MnStock/1301/sresult/", page);
        const Quote q = infoSeek(1301, c.mode);
        EXPECT_EQ(q.result, -3) << c.from;
        EXPECT_EQ(reader.message, std::string("FORMAT CHANGED : ") + c.message + " form HtmlValueFormat") << c.from;
        EXPECT_EQ(q.v, Quote{}.v);
    }
}

TEST_F(QuoteReaderTest, InfoSeekModeZeroIgnoresABrokenMarginCell) {
    InfoFields f;
    f.margin = "<tr><th>信用残 12月1日</th>";
    fetcher.page("/MnStock/1301/sresult/", infoSeekPage(f));
    EXPECT_EQ(infoSeek(1301, 0).result, 1);
    EXPECT_EQ(infoSeek(1301, 1).result, -3);
}

}  // namespace
}  // namespace quarlink
