// The J-Quants API of quarlink-pages against the service's documented ways.
#include <gtest/gtest.h>

#include <httplib.h>
#include <map>

#include "core/env/clock.h"
#include "core/store/index_flags.h"
#include "support/page_server.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

constexpr const char* kKey = "fake-key-mock-7e57ab1e";

// Ends on Friday 2026-10-09: the free plan's window ends on 2026-07-17.
std::filesystem::path market() {
    static const test::TempDir dir;
    static const bool made = test::generateMarket(dir / "market", "--codes 30 --from 2026 --to 20261009");
    EXPECT_TRUE(made);
    return dir / "market";
}
std::unique_ptr<test::PageServer> serve(const std::string& options) {
    return std::make_unique<test::PageServer>(market(), std::string("--api-key ") + kKey + " " + options);
}
std::pair<int, std::string> get(int port, const std::string& path, const std::string& key = kKey) {
    const auto r = httplib::Client("127.0.0.1", port).Get("/v2/" + path, {{"x-api-key", key}});
    return r ? std::pair(r->status, r->body) : std::pair(0, std::string());
}
// The numbers of `field` in a body's rows, in order.
std::vector<double> numbers(const std::string& body, const std::string& field) {
    std::vector<double> out;
    for (auto at = body.find("\"" + field + "\":"); at != std::string::npos; at = body.find("\"" + field + "\":", at + 1))
        out.push_back(std::strtod(body.c_str() + at + field.size() + 3, nullptr));
    return out;
}

TEST(JQuantsMock, AnswersAsTheServiceAtItsTimesAndPlans) {
    const struct {
        const char *name, *serve, *path;  // serve: over the premium plan on 2026-10-10
        int status;
        const char *has, *lacks = "message";  // has "": an empty body
    } cases[] = {
        {"bars at 16:29", "--now 2026-10-09T16:29", "equities/bars/daily?code=1301&from=20261008", 200, "10-08", "10-09"},
        {"daily balance at 15:59", "--now 2026-10-06T15:59", "markets/margin-interest?date=20261005", 200, "[]"},
        {"daily balance at 16:00", "--now 2026-10-06T16:00", "markets/margin-interest?date=20261005", 200,
         "\"PubDate\":\"2026-10-06\"", "\"ShrtVal\":null"},
        {"weekly balance at 16:29", "--now 2026-09-22T16:29", "markets/margin-interest?date=20260918", 200, "[]"},
        {"weekly balance at 16:30", "--now 2026-09-22T16:30", "markets/margin-interest?date=20260918", 200, "Val\":null"},
        {"master at 17:29", "--now 2026-10-09T17:29", "equities/master", 200, "\"Date\":\"2026-10-08\"", "10-09"},
        {"free master of today", "--plan free", "equities/master", 400, "2024-07-17 ~ 2026-07-17", "\"data\""},
        {"free master in the window", "--plan free", "equities/master?date=2026-06-01", 200, "\"Date\":\"2026-06-01\""},
        {"free calendar past it", "--plan free", "markets/calendar?from=20260701&to=20260801", 400, "covers", "\"data\""},
        {"free calendar", "--plan free", "markets/calendar", 200, "{\"Date\":\"2026-07-17\"", "2026-07-18"},
        {"margin on light", "--plan light", "markets/margin-interest?date=2026-10-05", 403, ""},
        {"half day and holiday", "", "markets/calendar?from=20260105&to=20260211", 200,
         "{\"Date\":\"2026-01-05\",\"HolDiv\":\"2\"}", "{\"Date\":\"2026-02-11\",\"HolDiv\":\"1\"}"},
        {"TOPIX as text", "", "indices/bars/daily/topix?from=2026-10-01", 200, "\"C\":\""},
        {"balances as text", "", "markets/margin-interest?date=2026-10-05", 200, "\"ShrtVol\":\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto server = serve(std::string("--rate-window-ms 0 --plan premium --now 2026-10-10T12:00 ") + c.serve);
        const auto [status, body] = get(server->port(), c.path);
        EXPECT_EQ(status, c.status);
        EXPECT_TRUE(*c.has ? body.find(c.has) != std::string::npos : body.empty()) << body.substr(0, 300);
        EXPECT_EQ(body.find(c.lacks), std::string::npos) << c.lacks;
    }
}

// Raw prices jump on a split's or a consolidation's day, adjusted ones do
// not; the factor stands on that day alone.
TEST(JQuantsMock, SplitsJumpInRawPricesOnly) {
    IndexTable index;
    ASSERT_TRUE(loadIndexTable(market() / "index.txt", index));
    const auto server = serve("--plan premium");
    std::map<bool, int> splits;  // by consolidation
    for (int code = 1000; code < kCodeCount; ++code)
        for (const Split& s : parseFlags(index.flags[code]).splits) {
            ++splits[s.ratio < 1];
            const std::string body = get(server->port(), "equities/bars/daily?code=" + std::to_string(code) + "&from=" +
                                         std::to_string(addDays(s.date, -9)) + "&to=" + std::to_string(s.date)).second;
            const auto open = numbers(body, "O"), close = numbers(body, "C"), adjOpen = numbers(body, "AdjO");
            ASSERT_GE(open.size(), 5u) << code;
            std::vector<double> factors(open.size() - 1, 1.0);
            factors.push_back(1 / s.ratio);
            EXPECT_EQ(numbers(body, "AdjFactor"), factors) << code;
            EXPECT_NEAR(close[close.size() - 2] / open.back(), s.ratio, s.ratio * 0.05) << code;
            for (std::size_t i = 1; i < open.size(); ++i) EXPECT_NEAR(adjOpen[i] / numbers(body, "AdjC")[i - 1], 1, 0.05);
        }
    EXPECT_EQ(splits, (std::map<bool, int>{{false, 2}, {true, 2}}));
}

// A quarter fail, in turn, never two in a row: a retry gets through.
TEST(JQuantsMock, GatewayErrorsTakeTheirShareNeverTwoInARow) {
    const auto server = serve("--plan premium --error-share 0.25");
    std::vector<int> failed;
    for (int n = 0, last = 200; n < 40; ++n) {
        const int status = get(server->port(), "markets/calendar?from=2026-10-01&to=2026-10-01").first;
        EXPECT_FALSE(status != 200 && last != 200) << n;
        if (status != 200) failed.push_back(status);
        last = status;
    }
    EXPECT_EQ(failed, (std::vector<int>{500, 502, 503, 504, 500, 502, 503, 504, 500, 502}));
}

}  // namespace
}  // namespace quarlink
