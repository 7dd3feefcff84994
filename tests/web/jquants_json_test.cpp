#include <gtest/gtest.h>

#include "core/web/jquants/jquants_json.h"

namespace quarlink::jquants {
namespace {

TEST(JQuantsJson, DatesInBothSpellingsAndOnlyRealOnes) {
    const struct {
        const char* text;
        std::int32_t date;
    } cases[] = {{"2024-02-29", 20240229}, {"20240229", 20240229}, {"2023-02-29", 0}, {"2024-13-01", 0},
                 {"2024/02/01", 0},        {"2024-2-01", 0},       {"202402011", 0},  {"", 0}};
    for (const auto& c : cases) EXPECT_EQ(parseDate(c.text), c.date) << c.text;
    EXPECT_EQ(isoDate(20260105), "2026-01-05");
}

TEST(JQuantsJson, StockCodesAreFourDigitsAndAZero) {
    const struct {
        const char* code;
        int stock;
    } cases[] = {{"72030", 7203}, {"13010", 1301}, {"25935", 0}, {"130A0", 0}, {"09990", 0}, {"7203", 0}, {"720300", 0}};
    for (const auto& c : cases) EXPECT_EQ(stockCodeOf(c.code), c.stock) << c.code;
}

TEST(JQuantsJson, DailyBarsKeepTradesAndHaltsAndSkipOtherCodes) {
    const std::string page = R"({"data":[
        {"Date":"2026-01-05","Code":"86970","O":2047.5,"H":"2069.0","L":2035.0,"C":2045.4,"UL":"0","LL":"0",
         "Vo":2202500.0,"Va":1.0,"MktCap":null,"NewField":{"x":[1,2]}},
        {"Date":"2026-01-05","Code":"13010","O":null,"H":null,"L":null,"C":null,"Vo":null,"Va":null},
        {"Date":"2026-01-05","Code":"130A0","O":"abc","H":1.0,"L":1.0,"C":1.0,"Vo":1.0},
        {"Date":"2026-01-05","Code":"25935","O":1.0,"H":1.0,"L":1.0,"C":1.0,"Vo":1.0}],
        "pagination_key":"a.b."})";
    DailyBars bars;
    std::string next;
    ASSERT_TRUE(parseDailyBarsPage(page, bars, next));
    EXPECT_EQ(next, "a.b.");
    ASSERT_EQ(bars.rows.size(), 2u);
    EXPECT_TRUE(bars.rows[0].traded);
    EXPECT_EQ(bars.rows[0].code, 8697);
    EXPECT_EQ(bars.rows[0].open, 2047.5);
    EXPECT_EQ(bars.rows[0].high, 2069.0);  // a number served as a string
    EXPECT_EQ(bars.rows[0].close, 2045.4);
    EXPECT_EQ(bars.rows[0].volume, 2202500.0);
    EXPECT_FALSE(bars.rows[1].traded);
    EXPECT_EQ(bars.rows[1].code, 1301);
    EXPECT_EQ(bars.otherCodes, 2u);
    EXPECT_EQ(bars.pages, 1);

    // A second page adds to the first; no key ends.
    ASSERT_TRUE(parseDailyBarsPage(R"({"data":[]})", bars, next));
    EXPECT_EQ(next, "");
    EXPECT_EQ(bars.pages, 2);
}

// Any number may come as a number, a string of one, or left out: null, "",
// "-" or "*". A bar without its close has no trade, a balance or index day
// without its value is left out and counted, an adjustment factor left out is 1.
TEST(JQuantsJson, ValuesLeftOutAreMissingNotRefusals) {
    DailyBars bars;
    MarginBalances margin;
    IndexBars topix;
    std::string next;
    ASSERT_TRUE(parseDailyBarsPage(R"({"data":[
        {"Date":"2026-01-05","Code":"13010","O":"-","H":"-","L":"","C":"*","Vo":null,"AdjFactor":null},
        {"Date":"2026-01-05","Code":"13020","O":null,"H":null,"L":null,"C":"100.0","Vo":"5","AdjFactor":"0.5"},
        {"Date":"2026-01-05","Code":"13030","O":1,"H":1,"L":1,"C":1,"Vo":null,"AdjFactor":"-"}]})", bars, next));
    ASSERT_EQ(bars.rows.size(), 3u);
    EXPECT_FALSE(bars.rows[0].traded);
    EXPECT_TRUE(bars.rows[1].traded);
    EXPECT_EQ(bars.rows[1].open, 100.0);  // a close-only bar
    EXPECT_EQ(bars.rows[1].adjFactor, 0.5);
    EXPECT_EQ(bars.rows[2].adjFactor, 1.0);
    EXPECT_EQ(bars.rows[2].volume, 0.0);
    ASSERT_TRUE(parseMarginPage(R"({"data":[
        {"Date":"2026-01-09","Code":"72050","LongVol":"1200","ShrtVol":300.0,"ShrtNegVol":"-","LongVal":null},
        {"Date":"2026-01-09","Code":"72060","LongVol":"-","ShrtVol":3},
        {"Date":"2026-01-09","Code":"72070","LongVol":5,"ShrtVol":null}]})", margin, next));
    ASSERT_EQ(margin.rows.size(), 1u);
    EXPECT_EQ(margin.rows[0].longVol, 1200.0);
    EXPECT_EQ(margin.missingValues, 2u);
    ASSERT_TRUE(parseIndexPage(R"({"data":[
        {"Date":"2026-01-05","O":"2047.5","H":"2069","L":2035,"C":"2045.4"},
        {"Date":"2026-01-06","O":null,"H":null,"L":null,"C":"2050"},
        {"Date":"2026-01-07","O":"1","H":"1","L":"1","C":""}]})", topix, next));
    ASSERT_EQ(topix.rows.size(), 2u);
    EXPECT_EQ(topix.rows[0].open, 2047.5);
    EXPECT_EQ(topix.rows[1].low, 2050.0);
    EXPECT_EQ(topix.missingValues, 1u);
}

enum Kind { Bars, Margin, Topix, Days, Master };

bool refused(Kind kind, const std::string& row, std::string& why) {
    const std::string page = R"({"data":[)" + row + "]}";
    std::string next;
    DailyBars bars;
    MarginBalances margin;
    IndexBars topix;
    Calendar days;
    ListedMaster master;
    switch (kind) {
    case Bars: return !parseDailyBarsPage(page, bars, next, &why) && bars.rows.empty();
    case Margin: return !parseMarginPage(page, margin, next, &why);
    case Topix: return !parseIndexPage(page, topix, next, &why);
    case Days: return !parseCalendarPage(page, days, next, &why);
    default: return !parseMasterPage(page, master, next, &why);
    }
}

// The page is refused, naming the row's code (or date), field and value.
TEST(JQuantsJson, ARowThatCannotBeAPriceRefusesItsPage) {
    const auto bar = [](const char* values) { return std::string(R"({"Date":"2026-01-05","Code":"13010",)") + values + "}"; };
    const struct {
        Kind kind;
        std::string row;
        const char* said;
    } cases[] = {
        {Bars, bar(R"("O":"abc","H":110,"L":90,"C":100,"Vo":1)"), R"(銘柄コード13010の項目Oの値"abc"（数値ではありません）)"},
        {Bars, R"({"Date":"2026-02-30","Code":"13010","O":1,"H":1,"L":1,"C":1,"Vo":1})",
         R"(銘柄コード13010の項目Dateの値"2026-02-30")"},
        {Bars, bar(R"("O":-5,"H":110,"L":90,"C":100,"Vo":1)"), "銘柄コード13010の項目Oの値-5（負の値です）"},
        {Bars, bar(R"("O":0,"H":110,"L":0,"C":100,"Vo":1)"), "銘柄コード13010の項目Oの値0（価格になりません）"},
        {Bars, bar(R"("O":100,"H":110,"L":90,"C":100,"Vo":-1)"), "銘柄コード13010の項目Voの値-1（負の値です）"},
        {Bars, bar(R"("O":100,"H":80,"L":90,"C":100,"Vo":1)"), "銘柄コード13010の項目Hの値80（Lの90より下です）"},
        {Bars, bar(R"("O":120,"H":110,"L":90,"C":100,"Vo":1)"), "銘柄コード13010の項目Oの値120（L〜Hの外です）"},
        {Bars, bar(R"("O":100,"H":110,"L":90,"C":85,"Vo":1)"), "銘柄コード13010の項目Cの値85（L〜Hの外です）"},
        {Bars, bar(R"("O":100,"H":110,"L":90,"C":100,"Vo":2147483648)"), "項目Voの値2147483648（保存できる範囲を超えています"},
        {Bars, bar(R"("O":1e400,"H":110,"L":90,"C":100,"Vo":1)"), "銘柄コード13010の項目Oの値1e400（数値ではありません）"},
        {Bars, bar(R"("O":"inf","H":110,"L":90,"C":100,"Vo":1)"), R"(項目Oの値"inf"（数値ではありません）)"},
        {Bars, bar(R"("O":"-","H":110,"L":90,"C":120,"Vo":1)"), "銘柄コード13010の項目Cの値120（L〜Hの外です）"},
        {Bars, bar(R"("O":100,"H":110,"L":90,"C":100,"Vo":1,"AdjFactor":0)"), "項目AdjFactorの値0（調整係数ではありません）"},
        {Bars, bar(R"("O":100,"H":110,"L":90,"Vo":1)"), "銘柄コード13010の項目Cがありません"},
        {Margin, R"({"Date":"2026-01-09","Code":"72050","LongVol":-1,"ShrtVol":3})", "銘柄コード72050の項目LongVolの値-1"},
        {Topix, R"({"Date":"2026-01-06","O":1,"H":3e7,"L":1,"C":1})", "日付2026-01-06の項目Hの値3e7（保存できる範囲を超えています"},
        {Days, R"({"Date":"2026-01-06","HolDiv":"7"})", R"(日付2026-01-06の項目HolDivの値"7")"},
        {Master, R"({"Date":"2026-01-05","Code":"72040"})", "銘柄コード72040の項目CoNameがありません"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        std::string why;
        EXPECT_TRUE(refused(c.kind, c.row, why));
        EXPECT_NE(why.find(c.said), std::string::npos) << why;
    }
}

// Rows are read a slice at a time: none is lost or read twice where a slice
// ends, a stray comma is found wherever it lies, and more rows than allowed end the page.
TEST(JQuantsJson, ALargePageIsReadInSlicesAllOrNothing) {
    constexpr int kRows = 30'000;  // about 2.4 MB
    const auto page = [&](int stray) {
        std::string body = R"({"data":[)";
        for (int i = 0; i < kRows; ++i)
            body += (i ? (i == stray ? ",," : ",") : "") + std::string(R"({"Date":"2026-01-05","Code":"72030","O":9,)") +
                    R"("H":9,"L":9,"C":9,"Vo":)" + std::to_string(i) + "}";
        return body + (stray == kRows ? ",]}" : "]}");
    };
    DailyBars bars;
    std::string next, why;
    ASSERT_TRUE(parseDailyBarsPage(page(0), bars, next, &why)) << why;
    ASSERT_EQ(bars.rows.size(), std::size_t(kRows));
    for (int i = 0; i < kRows; ++i) ASSERT_EQ(bars.rows[i].volume, i);
    for (const int stray : {1, kRows / 2, kRows}) {
        DailyBars refused;
        EXPECT_FALSE(parseDailyBarsPage(page(stray), refused, next)) << stray;
        EXPECT_TRUE(refused.rows.empty());
    }
    EXPECT_FALSE(parseDailyBarsPage(page(0), bars, next, &why, kRows + 10));
    EXPECT_NE(why.find("この問い合わせにありうる行数"), std::string::npos) << why;
    EXPECT_EQ(bars.rows.size(), std::size_t(kRows));
}

TEST(JQuantsJson, BodiesThatAreNotTheDocumentedJsonAreRefusedWholesale) {
    for (const char* body : {"", "<html>Service Unavailable</html>", "[]", R"({"data":{}})", R"({"message":"x"})",
                             R"({"data":[{"Date":"2026-01-05","HolDiv":"1"})", R"({"data":[]} {})",
                             R"({"data":[],"data":[]})", R"({"data":[{"Date":"2026-01-05","HolDiv":"1"},]})",
                             R"({"data":[7]})", R"({"data":[],"pagination_key":5})", R"({"data":[{"a":[}]})",
                             R"({"data":[],"x":"}})"}) {
        Calendar days;
        std::string next = "stale";
        EXPECT_FALSE(parseCalendarPage(body, days, next)) << body;
        EXPECT_TRUE(days.rows.empty());
        EXPECT_EQ(days.pages, 0);
    }
}

TEST(JQuantsJson, OtherEndpointsAndErrorMessages) {
    std::string next;
    Calendar days;
    ASSERT_TRUE(parseCalendarPage(R"({"data":[{"Date":"2026-01-02","HolDiv":"0"},{"Date":"2026-01-05","HolDiv":"1"}]})",
                                  days, next));
    ASSERT_EQ(days.rows.size(), 2u);
    EXPECT_FALSE(days.rows[0].businessDay());
    EXPECT_TRUE(days.rows[1].businessDay());

    MarginBalances margin;
    ASSERT_TRUE(parseMarginPage(R"({"data":[{"Date":"2026-01-09","Code":"86970","ShrtVol":12.0,"LongVol":"34.0",
        "IssType":"1"}]})", margin, next));
    ASSERT_EQ(margin.rows.size(), 1u);
    EXPECT_EQ(margin.rows[0].longVol, 34.0);
    EXPECT_EQ(margin.rows[0].shortVol, 12.0);

    IndexBars topix;
    ASSERT_TRUE(parseIndexPage(R"({"data":[{"Date":"2022-06-28","O":1885.52,"H":1907.38,"L":1885.32,"C":1907.38}]})",
                               topix, next));
    ASSERT_EQ(topix.rows.size(), 1u);
    EXPECT_EQ(topix.rows[0].close, 1907.38);

    EXPECT_EQ(errorMessage(R"({"message":"The api key is required."})"), "The api key is required.");
    EXPECT_EQ(errorMessage("Forbidden"), "");
}

}  // namespace
}  // namespace quarlink::jquants
