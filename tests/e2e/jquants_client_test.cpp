// The J-Quants client against the API of quarlink-pages, over HTTP and TLS.
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <fstream>
#include <thread>

#include "core/store/price_file.h"
#include "support/fake_clock.h"
#include "support/loopback_server.h"
#include "support/page_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "core/web/jquants/jquants_client.h"

namespace quarlink::jquants {
namespace {

namespace fs = std::filesystem;
using test::PageServer;

constexpr const char* kKey = "fake-key-e2e-51c0ffee";
constexpr const char* kOtherKey = "fake-key-e2e-0bad0bad";
constexpr std::int32_t kLastDay = 20260109;   // a Friday; 2026-01-02 is a weekday holiday

class JQuantsClient : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        ASSERT_TRUE(test::generateMarket(market(), "--codes 40 --to " + std::to_string(kLastDay)));
    }
    static void TearDownTestSuite() { delete dir_; }
    static fs::path market() { return *dir_ / "market"; }

    template <class Server>
    static Endpoints endpoints(const Server& server, const char* scheme = "http") {
        Endpoints e;
        e.jquants = std::string(scheme) + "://127.0.0.1:" + std::to_string(server.port()) + "/v2";
        e.jquantsRpm = 0;
        return e;
    }
    // The service as on the evening of the market's last day.
    static std::string serve(const std::string& plan, const std::string& more = {}) {
        return std::string("--api-key ") + kKey + " --plan " + plan + " --now 2026-01-09T18:00 " + more;
    }
    static bool keyIn(const std::string& text) {
        return text.find(kKey) != std::string::npos || text.find(kOtherKey) != std::string::npos;
    }

    static test::TempDir* dir_;
};
test::TempDir* JQuantsClient::dir_ = nullptr;

int roundHalfUp(double value) { return static_cast<int>(std::floor(value + 0.5)); }

TEST_F(JQuantsClient, FollowsPagesToTheEndAndMatchesTheMarketGzipped) {
    const fs::path log = *dir_ / "pages.log";
    PageServer server(market(), serve("standard", "--page-size 7 --log " + log.string()));
    Client client(endpoints(server), kKey, systemEnvironment());
    DailyBars bars;
    const Status status = client.dailyBarsByDate(kLastDay, bars);
    ASSERT_TRUE(status.ok()) << status.message;

    EXPECT_EQ(bars.rows.size(), 40u);
    EXPECT_GE(bars.otherCodes, 2u);   // letter codes and a preferred share
    EXPECT_EQ(bars.pages, int((bars.rows.size() + bars.otherCodes + 6) / 7));
    EXPECT_EQ(client.requestsSent(), std::uint64_t(bars.pages));
    const std::string requests = test::readFile(log);
    std::size_t followUps = 0;
    for (std::size_t at = 0; (at = requests.find("date=2026-01-09&pagination_key=", at)) != std::string::npos; ++at)
        ++followUps;
    EXPECT_EQ(followUps, std::size_t(bars.pages - 1));

    int halted = 0;
    for (const DailyBar& bar : bars.rows) {
        char name[8];
        std::snprintf(name, sizeof name, "%04d", bar.code);
        PriceSeries stored;
        ASSERT_TRUE(loadPriceFile(market() / "data" / name, stored));
        const PriceRecord& last = stored.rows.back();
        if (!bar.traded) {
            ++halted;
            EXPECT_NE(last.date, kLastDay) << bar.code;
            continue;
        }
        ASSERT_EQ(last.date, kLastDay) << bar.code;
        EXPECT_EQ((PriceRecord{kLastDay, roundHalfUp(bar.open), roundHalfUp(bar.high), roundHalfUp(bar.low),
                               roundHalfUp(bar.close), static_cast<int>(bar.volume), last.marginBuy, last.marginSell}),
                  last)
            << bar.code;
    }
    EXPECT_GE(halted, 1);
    // Each full row is over 200 bytes as JSON; gzip leaves far less on the wire.
    EXPECT_LT(client.bytesReceived(), bars.rows.size() * 100);
}

TEST_F(JQuantsClient, CalendarMarginTopixAndMaster) {
    PageServer server(market(), serve("premium", "--page-size 50"));
    Endpoints premium = endpoints(server);
    premium.jquantsPlan = JQuantsPlan::Premium;
    Client client(premium, kKey, systemEnvironment());
    Calendar days;
    ASSERT_TRUE(client.calendar(20251229, 20260109, days).ok());
    std::vector<std::int32_t> open;
    for (const CalendarDay& d : days.rows)
        if (d.businessDay()) open.push_back(d.date);
    EXPECT_EQ(open, (std::vector<std::int32_t>{20251229, 20251230, 20260105, 20260106, 20260107, 20260108, 20260109}));

    // The last Friday's balances come out on the Tuesday after: the newest are the Friday's before.
    MarginBalances byDate, byCode;
    ASSERT_TRUE(client.marginInterestByDate(kLastDay, byDate).ok());
    EXPECT_TRUE(byDate.rows.empty());
    ASSERT_TRUE(client.marginInterestByDate(20251226, byDate).ok());
    ASSERT_FALSE(byDate.rows.empty());
    const int code = byDate.rows.front().code;
    ASSERT_TRUE(client.marginInterestByCode(code, 20251201, kLastDay, byCode).ok());
    EXPECT_GE(byCode.rows.size(), 4u);
    EXPECT_EQ(byCode.rows.back().date, 20251226);
    EXPECT_EQ(byCode.rows.back().longVol, byDate.rows.front().longVol);

    IndexBars topix;
    ASSERT_TRUE(client.topix(20260105, kLastDay, topix).ok());
    EXPECT_EQ(topix.rows.size(), 5u);

    ListedMaster master;
    ASSERT_TRUE(client.listedMaster(master).ok());
    std::size_t stocks = 0;
    for (const ListedIssue& issue : master.rows) stocks += issue.stockCode != 0;
    EXPECT_EQ(stocks, 40u);
    EXPECT_GT(master.rows.size(), stocks);

    DailyBars history;
    ASSERT_TRUE(client.dailyBarsByCode(code, 20260105, kLastDay, history).ok());
    EXPECT_EQ(history.rows.size(), 5u);
}

TEST_F(JQuantsClient, RefusalsSayWhatWentWrongWithoutTheKey) {
    const struct {
        const char* name;
        std::string serve;
        const char* clientKey;
        std::function<Status(Client&)> call;
        Outcome outcome;
        std::int32_t windowFrom, windowTo;
    } cases[] = {
        {"other key", serve("standard"), kOtherKey, [](Client& c) { Calendar d; return c.calendar(0, 0, d); },
         Outcome::KeyRefused, 0, 0},
        {"no key served", "--plan standard", kKey, [](Client& c) { Calendar d; return c.calendar(0, 0, d); },
         Outcome::KeyRefused, 0, 0},
        {"free plan's delay", serve("free"), kKey,
         [](Client& c) { DailyBars b; return c.dailyBarsByDate(kLastDay, b); }, Outcome::PlanWindow, 20231017, 20251017},
        {"TOPIX on free", serve("free"), kKey, [](Client& c) { IndexBars b; return c.topix(0, 0, b); },
         Outcome::NotInPlan, 0, 0},
        {"margin on light", serve("light"), kKey,
         [](Client& c) { MarginBalances m; return c.marginInterestByDate(kLastDay, m); }, Outcome::NotInPlan, 0, 0},
    };
    for (const auto& c : cases) {
        PageServer server(market(), c.serve);
        Client client(endpoints(server), c.clientKey, systemEnvironment());
        const Status status = c.call(client);
        EXPECT_EQ(status.outcome, c.outcome) << c.name << ": " << (keyIn(status.message) ? "" : status.message);
        EXPECT_EQ(status.windowFrom, c.windowFrom) << c.name;
        EXPECT_EQ(status.windowTo, c.windowTo) << c.name;
        EXPECT_FALSE(status.message.empty()) << c.name;
        EXPECT_FALSE(keyIn(status.message)) << c.name;
    }
}

// Answers request n with page(n), under the status status(n).
test::Serve scripted(std::function<std::string(int)> page, std::atomic<int>& requests,
                     std::function<int(int)> status = [](int) { return 200; }) {
    return [page, status, &requests](int fd, const test::StopFlag& stop) {
        test::readRequest(fd, stop);
        const int n = ++requests;
        const std::string body = page(n);
        test::sendAll(fd, "HTTP/1.0 " + std::to_string(status(n)) + " X\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body, stop);
    };
}

// A 429 is waited out (65 s on the injected sleeper, none of it spent) and
// asked again; the mock, whose plan window never ends, has it give up after five.
TEST_F(JQuantsClient, RateLimitWaitsSixtyFiveSecondsThenGoesOnOrGivesUp) {
    for (const bool windowEnds : {true, false}) {
        SCOPED_TRACE(windowEnds ? "answered after one wait" : "never answered");
        std::atomic<int> requests{0};
        test::LoopbackServer scriptedServer(scripted([](int) { return std::string(R"({"data":[]})"); }, requests,
                                                     [](int n) { return n == 1 ? 429 : 200; }),
                                            true);
        // The free plan answers 429 to a sixth request within its window.
        PageServer mock(market(), serve("free"));
        std::vector<std::string> lines;
        test::FakeTime time;
        Client client(windowEnds ? endpoints(scriptedServer) : endpoints(mock), kKey, time.environment(),
                      [&](const std::string& line) { lines.push_back(line); });
        Status status;
        for (int i = 0; i < (windowEnds ? 1 : 6) && status.ok(); ++i) {
            Calendar days;
            status = client.calendar(20251006, 20251017, days);
        }
        const std::size_t waits = windowEnds ? 1 : Client::kRateLimitRetries;
        EXPECT_EQ(status.outcome, windowEnds ? Outcome::Ok : Outcome::ConnectionFailed) << status.message;
        EXPECT_EQ(time.sleeper.slept, Client::kRateLimitWait * static_cast<int>(waits));
        ASSERT_EQ(lines.size(), waits);
        EXPECT_NE(lines.back().find("65秒"), std::string::npos) << lines.back();
        for (const auto& line : lines) EXPECT_FALSE(keyIn(line));
    }
}

TEST_F(JQuantsClient, PacesRequestsToThePlanOnTheInjectedClock) {
    PageServer server(market(), serve("premium"));
    Endpoints e = endpoints(server);
    e.jquantsRpm.reset();
    e.jquantsPlan = JQuantsPlan::Light;
    test::FakeTime time;
    Client client(e, kKey, time.environment());
    EXPECT_EQ(client.requestsPerMinute(), 60);
    for (int i = 0; i < 3; ++i) {
        Calendar days;
        ASSERT_TRUE(client.calendar(20260105, kLastDay, days).ok());
        time.steady.advance(std::chrono::milliseconds(400));
    }
    // 1 s apart at 60 a minute: 600 ms left to wait after each 400 ms.
    EXPECT_EQ(time.sleeper.slept, std::chrono::milliseconds(1200));
}

TEST_F(JQuantsClient, AbortEndsAWaitingRequestQuickly) {
    // A server that takes the request and never answers; the abort comes once it has the request.
    std::mutex mutex;
    std::condition_variable taken;
    bool asked = false;
    test::LoopbackServer server(
        [&](int fd, const test::StopFlag& stop) {
            test::readRequest(fd, stop);
            {
                const std::lock_guard lock(mutex);
                asked = true;
            }
            taken.notify_all();
            stop.hold(std::chrono::minutes(1));
        },
        true);
    Client client(endpoints(server), kKey, systemEnvironment());
    std::thread stopper([&] {
        std::unique_lock lock(mutex);
        taken.wait(lock, [&] { return asked; });
        client.abort();
    });
    const auto start = std::chrono::steady_clock::now();
    Calendar days;
    const Status status = client.calendar(0, 0, days);
    stopper.join();
    EXPECT_EQ(status.outcome, Outcome::Aborted);
    // The socket is shut down: no waiting for libcurl's once-a-second progress call.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(600));
}

TEST_F(JQuantsClient, TlsTrustsTheGivenCaAndRefusesAnUnknownOne) {
    const fs::path ca = *dir_ / "ca.pem", caKey = *dir_ / "ca.key", cert = *dir_ / "server.pem",
                   key = *dir_ / "server.key", request = *dir_ / "server.csr", ext = *dir_ / "ext.cnf";
    test::writeFile(ext, "subjectAltName=IP:127.0.0.1\n");
    const std::string curve = "ec_paramgen_curve:prime256v1";
    const std::vector<std::vector<std::string>> steps = {
        {"req", "-x509", "-newkey", "ec", "-pkeyopt", curve, "-nodes", "-keyout", caKey, "-out", ca, "-days", "2",
         "-subj", "/CN=Quarlink Test CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
         "keyUsage=critical,keyCertSign"},
        {"req", "-newkey", "ec", "-pkeyopt", curve, "-nodes", "-keyout", key, "-out", request, "-subj", "/CN=127.0.0.1"},
        {"x509", "-req", "-in", request, "-CA", ca, "-CAkey", caKey, "-CAcreateserial", "-out", cert, "-days", "2",
         "-extfile", ext},
    };
    for (const auto& args : steps) {
        const auto run = test::runProcess("/usr/bin/openssl", args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    PageServer server(market(), serve("standard", "--tls-cert " + cert.string() + " --tls-key " + key.string()));
    ASSERT_GT(server.port(), 0);
    for (const bool trusted : {true, false}) {
        Endpoints e = endpoints(server, "https");
        if (trusted) e.jquantsCa = ca.string();
        Client client(e, kKey, systemEnvironment());
        Calendar days;
        const Status status = client.calendar(20260105, kLastDay, days);
        EXPECT_EQ(status.outcome, trusted ? Outcome::Ok : Outcome::ConnectionFailed) << status.message;
        EXPECT_EQ(days.rows.size(), trusted ? 5u : 0u);
    }
}

// Answers the n-th request (from 1) with page(n), counting the requests.
// A server error is asked again three times, the pause doubling from
// retry_wait_ms on the injected sleeper, then it is a connection failure.
// A 403 without a word names the key, or the data some plans lack and the
// plan that has it.
TEST_F(JQuantsClient, ServerErrorsAreAskedAgainAndSilentRefusalsNamedRight) {
    const struct {
        const char* name;
        int failing;     // requests answered with `status` before a good page
        int status;
        const char* path;
        Outcome outcome;
        std::chrono::milliseconds slept;
        const char* said;
    } cases[] = {
        {"two 503s", 2, 503, "calendar", Outcome::Ok, std::chrono::milliseconds(2000 + 4000), ""},
        {"500 for good", 99, 500, "calendar", Outcome::ConnectionFailed, std::chrono::milliseconds(14000), "HTTP 500"},
        {"silent 403 on margin", 99, 403, "margin", Outcome::NotInPlan, {}, "Standardプラン以上が必要です"},
        {"silent 403 on TOPIX", 99, 403, "topix", Outcome::NotInPlan, {}, "Lightプラン以上が必要です"},
        {"silent 403 on bars", 99, 403, "bars", Outcome::KeyRefused, {}, "APIキーを受け付けません"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> requests{0};
        test::LoopbackServer server(
            scripted([&](int n) { return n <= c.failing ? std::string() : std::string(R"({"data":[]})"); }, requests,
                     [&](int n) { return n <= c.failing ? c.status : 200; }),
            true);
        test::FakeTime time;
        Client client(endpoints(server), kKey, time.environment());
        Status status;
        const std::string path = c.path;
        if (path == "calendar") status = [&] { Calendar d; return client.calendar(20260105, kLastDay, d); }();
        if (path == "margin") status = [&] { MarginBalances m; return client.marginInterestByDate(kLastDay, m); }();
        if (path == "topix") status = [&] { IndexBars b; return client.topix(20260105, kLastDay, b); }();
        if (path == "bars") status = [&] { DailyBars b; return client.dailyBarsByDate(kLastDay, b); }();
        EXPECT_EQ(status.outcome, c.outcome) << status.message;
        EXPECT_EQ(time.sleeper.slept, c.slept);
        EXPECT_NE(status.message.find(c.said), std::string::npos) << status.message;
    }
}

// Pages without end are refused within a bound the request sets, and so is an
// answer that repeats a code or echoes the key (which never reaches the message).
TEST_F(JQuantsClient, PagesWithoutEndAndRowsThatRepeatAreRefused) {
    const auto page = [](int code, int day, int key, const std::string& open = "9") {
        return R"({"data":[{"Date":"2026-01-0)" + std::to_string(day) + R"(","Code":")" + std::to_string(code) +
               R"(0","O":)" + open + R"(,"H":9,"L":9,"C":9,"Vo":1}],"pagination_key":"k)" + std::to_string(key) + "\"}";
    };
    const struct {
        const char* name;
        std::function<std::string(int)> page;
        bool byCode;  // 1301 over 2026-01-01..05
        int requests;
        const char* said;
    } cases[] = {
        {"same rows, new keys", [&](int n) { return page(1301, 5, n); }, false, 2,
         "銘柄コード1301が2026-01-05に2回あります"},
        {"keys in a cycle", [&](int n) { return page(1300 + n, 5, n % 2); }, false, 3,
         "3ページ目のpagination_keyが前のページと同じです"},
        {"empty pages", [](int n) { return R"({"data":[],"pagination_key":"k)" + std::to_string(n) + "\"}"; }, false, 3,
         "3ページで0行のあとに"},
        {"more days than the span", [&](int n) { return page(1301, n, n); }, true, 6,
         "この問い合わせにありうる行数（5）を超えています"},
        {"the key echoed", [&](int n) { return page(1301, 5, n, std::string("\"") + kKey + "\""); }, false, 1,
         R"(銘柄コード13010の項目Oの値"*****)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> requests{0};
        test::LoopbackServer server(scripted(c.page, requests), true);
        Client client(endpoints(server), kKey, systemEnvironment());
        DailyBars bars;
        const Status status = c.byCode ? client.dailyBarsByCode(1301, 20260101, 20260105, bars)
                                       : client.dailyBarsByDate(20260105, bars);
        EXPECT_EQ(status.outcome, Outcome::Unrecognised);
        EXPECT_EQ(requests, c.requests);
        EXPECT_NE(status.message.find(c.said), std::string::npos) << status.message;
        EXPECT_FALSE(keyIn(status.message));
        EXPECT_TRUE(bars.rows.empty());
    }
}

long statusKb(const std::string& name) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(name, 0) == 0) return std::stol(line.substr(name.size()));
    return -1;
}

// An answer over the limit is refused as it arrives: the server is cut off
// and the memory taken stays near the limit, whether or not it said its length.
TEST_F(JQuantsClient, AnAnswerOverTheLimitIsRefusedAsItArrives) {
    constexpr std::size_t kSent = 100u << 20;
    for (const bool declared : {true, false}) {
        SCOPED_TRACE(declared ? "Content-Length" : "until closed");
        std::atomic<std::size_t> sent{0};
        test::LoopbackServer server(
            [&](int fd, const std::atomic<bool>& stop) {
                test::readRequest(fd, stop);
                const std::string head = declared ? "Content-Length: " + std::to_string(kSent) + "\r\n" : "";
                const std::string chunk(64 << 10, ' ');
                if (test::sendAll(fd, "HTTP/1.0 200 OK\r\n" + head + "\r\n{\"data\":[", stop))
                    while (sent < kSent && test::sendAll(fd, chunk, stop)) sent += chunk.size();
            },
            true);
        Client client(endpoints(server), kKey, systemEnvironment());
        const bool measured = bool(std::ofstream("/proc/self/clear_refs") << "5" << std::flush);  // VmHWM from here on
        const long before = statusKb("VmRSS:");
        DailyBars bars;
        const Status status = client.dailyBarsByDate(20260105, bars);
        EXPECT_EQ(status.outcome, Outcome::Unrecognised);
        EXPECT_NE(status.message.find("64 MBを超えています"), std::string::npos) << status.message;
        EXPECT_LT(sent, kSent);
        if (measured) { EXPECT_LT(statusKb("VmHWM:") - before, long(Client::kMaxAnswerBytes / 1024 * 5 / 4)); }
    }
}

}  // namespace
}  // namespace quarlink::jquants
