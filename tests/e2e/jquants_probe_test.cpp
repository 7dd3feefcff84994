// The connection test against quarlink-pages' API, one server per plan.
#include <gtest/gtest.h>

#include <optional>

#include "core/sources/jquants_probe.h"
#include "support/fake_clock.h"
#include "support/loopback_server.h"
#include "support/page_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

constexpr const char* kKey = "fake-key-probe-77aa01";

// A market of eleven years: a month more than ten years back has bars only
// for a plan that keeps twenty.
class JQuantsProbeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        ASSERT_TRUE(test::generateMarket(*dir_ / "market", "--codes 3 --from 2015 --to 20260109"));
    }
    static void TearDownTestSuite() { delete dir_; }
    static test::TempDir* dir_;
    FixedClock clock{LocalDateTime{2026, 1, 9, 18, 0, 0}};
    test::FakeTime time;
};
test::TempDir* JQuantsProbeTest::dir_ = nullptr;

TEST_F(JQuantsProbeTest, TellsEachPlanInAtMostThreeRequestsAndEachFailureItsOwnWay) {
    test::LoopbackServer failing(test::reply("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 26\r\n"
                                             "Connection: close\r\n\r\n{\"message\":\"maintenance\"}\n"),
                                 true);
    test::LoopbackServer closed(test::reply(""), false);
    using Kind = JQuantsProbeResult::Kind;
    const struct {
        const char* plan;    // the mock's; none: the server at `port`
        const char* served;  // the key the mock takes
        int port;
        Kind kind;
        const char* textHas;
    } cases[] = {
        {"free", kKey, 0, Kind::Accepted, "プラン：Free（データ：2023-10-17〜2025-10-17"},
        {"light", kKey, 0, Kind::Accepted, "毎分60リクエスト"},
        {"standard", kKey, 0, Kind::Accepted, "過去10年（2016-01-09から）"},
        {"premium", kKey, 0, Kind::Accepted, "毎分500リクエスト"},
        {"standard", "another-key-0000", 0, Kind::KeyRefused, "invalid or expired"},
        {nullptr, nullptr, failing.port(), Kind::ServerError, "HTTP 503"},
        {nullptr, nullptr, closed.port(), Kind::NoConnection, "接続できませんでした"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.textHas);
        std::optional<test::PageServer> server;
        if (c.plan)
            server.emplace(*dir_ / "market", std::string("--api-key ") + c.served + " --plan " + c.plan +
                                                 " --now 2026-01-09T18:00");
        Endpoints e;
        e.jquants = "http://127.0.0.1:" + std::to_string(server ? server->port() : c.port) + "/v2";
        e.retryWaitMs = 0;
        JQuantsProbe probe(e, kKey, {&clock, &time.steady, &time.sleeper});
        const JQuantsProbeResult r = probe.run("jquants.key");
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_TRUE(!r.ok() || (r.plan == jquantsPlanFromName(c.plan) && r.requests <= 3))
            << planFacts(r.plan).name << " in " << r.requests;
        EXPECT_NE(r.text.find(c.textHas), std::string::npos) << r.text;
        EXPECT_EQ(r.text.find(kKey), std::string::npos);
    }
}

// The same settings from quarlink-cli: the key from standard input only, kept private, never echoed.
TEST_F(JQuantsProbeTest, TheCliSetsTheKeyTestsAndKeepsThePlanItFound) {
    test::PageServer server(*dir_ / "market", std::string("--api-key ") + kKey + " --plan light --now 2026-01-09T18:00");
    test::TempDir work;
    test::writeFile(work / "endpoints.conf",
                    "jquants=http://127.0.0.1:" + std::to_string(server.port()) + "/v2\njquants_rpm=0\nretry_wait_ms=0\n");
    const auto cli = [&](std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {"--workdir", work.path().string(), "jquants"});
        return test::runProcess(QUARLINK_CLI_PATH, args, {}, input, std::chrono::seconds(60));
    };
    const test::ProcessResult blank = cli({"--set-key"}, " \n");
    EXPECT_EQ(blank.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(work / "jquants.key"));
    const test::ProcessResult set = cli({"--set-key", "--test"}, std::string(kKey) + "\n");
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(std::filesystem::status(work / "jquants.key").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ((set.out + set.err).find(kKey), std::string::npos);
    EXPECT_NE(set.out.find("ジョブが使うプラン：Light"), std::string::npos) << set.out;
    const test::ProcessResult fixed = cli({"--plan", "premium", "--delete-key"});
    EXPECT_NE(fixed.out.find("ジョブが使うプラン：Premium"), std::string::npos) << fixed.out;
    EXPECT_FALSE(std::filesystem::exists(work / "jquants.key"));
}

}  // namespace
}  // namespace quarlink
