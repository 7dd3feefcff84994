#include <gtest/gtest.h>

#include "web/jquants/jquants_json.h"

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

TEST(JQuantsJson, DailyBarsKeepTradesAndHaltsSkipOtherCodesAndCountBrokenRows) {
    const std::string page = R"({"data":[
        {"Date":"2026-01-05","Code":"86970","O":2047.5,"H":2069.0,"L":2035.0,"C":2045.4,"UL":"0","LL":"0",
         "Vo":2202500.0,"Va":1.0,"MktCap":null,"NewField":{"x":[1,2]}},
        {"Date":"2026-01-05","Code":"13010","O":null,"H":null,"L":null,"C":null,"Vo":null,"Va":null},
        {"Date":"2026-01-05","Code":"130A0","O":1.0,"H":1.0,"L":1.0,"C":1.0,"Vo":1.0},
        {"Date":"2026-01-05","Code":"25935","O":1.0,"H":1.0,"L":1.0,"C":1.0,"Vo":1.0},
        {"Date":"2026-01-05","Code":"72030","O":1.0,"H":1.0,"L":1.0,"Vo":1.0},
        {"Date":"2026-01-05","Code":"72040","O":"1","H":1.0,"L":1.0,"C":1.0,"Vo":1.0},
        {"Date":"2026-02-30","Code":"72050","O":1.0,"H":1.0,"L":1.0,"C":1.0,"Vo":1.0},
        {"Code":"72060","O":1.0,"H":1.0,"L":1.0,"C":1.0,"Vo":1.0},
        {"Date":"2026-01-05","Code":"72070","O":null,"H":1.0,"L":1.0,"C":1.0,"Vo":1.0},
        7],
        "pagination_key":"a.b."})";
    DailyBars bars;
    std::string next;
    ASSERT_TRUE(parseDailyBarsPage(page, bars, next));
    EXPECT_EQ(next, "a.b.");
    ASSERT_EQ(bars.rows.size(), 2u);
    EXPECT_TRUE(bars.rows[0].traded);
    EXPECT_EQ(bars.rows[0].code, 8697);
    EXPECT_EQ(bars.rows[0].open, 2047.5);
    EXPECT_EQ(bars.rows[0].close, 2045.4);
    EXPECT_EQ(bars.rows[0].volume, 2202500.0);
    EXPECT_FALSE(bars.rows[1].traded);
    EXPECT_EQ(bars.rows[1].code, 1301);
    EXPECT_EQ(bars.otherCodes, 2u);
    EXPECT_EQ(bars.malformed, 6u);
    EXPECT_EQ(bars.pages, 1);

    // A second page adds to the first; no key ends.
    ASSERT_TRUE(parseDailyBarsPage(R"({"data":[]})", bars, next));
    EXPECT_EQ(next, "");
    EXPECT_EQ(bars.pages, 2);
}

TEST(JQuantsJson, BodiesThatAreNotTheDocumentedJsonAreRefusedWholesale) {
    for (const char* body : {"", "<html>Service Unavailable</html>", "[]", R"({"data":{}})", R"({"message":"x"})",
                             R"({"data":[{"Date":"2026-01-05","HolDiv":"1"})"}) {
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
    ASSERT_TRUE(parseCalendarPage(R"({"data":[{"Date":"2026-01-02","HolDiv":"0"},{"Date":"2026-01-05","HolDiv":"1"},
        {"Date":"2026-01-06","HolDiv":1}]})", days, next));
    ASSERT_EQ(days.rows.size(), 2u);
    EXPECT_FALSE(days.rows[0].businessDay());
    EXPECT_TRUE(days.rows[1].businessDay());
    EXPECT_EQ(days.malformed, 1u);

    MarginBalances margin;
    ASSERT_TRUE(parseMarginPage(R"({"data":[{"Date":"2026-01-09","Code":"86970","ShrtVol":12.0,"LongVol":34.0,
        "IssType":"1"},{"Date":"2026-01-09","Code":"86970","ShrtVol":null,"LongVol":34.0}]})", margin, next));
    ASSERT_EQ(margin.rows.size(), 1u);
    EXPECT_EQ(margin.rows[0].longVol, 34.0);
    EXPECT_EQ(margin.rows[0].shortVol, 12.0);
    EXPECT_EQ(margin.malformed, 1u);

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
