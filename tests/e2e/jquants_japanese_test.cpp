// What quarlink-cli prints when J-Quants refuses or fails: the service's words quoted, no English sentence besides.
#include <gtest/gtest.h>

#include "support/english_text.h"
#include "support/loopback_server.h"
#include "support/page_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace quarlink {

TEST(JQuantsJapanese, RefusalsAndFailuresSayNoEnglishSentenceButTheServers) {
    test::TempDir dir;
    const std::filesystem::path chart = dir / "chart";
    ASSERT_TRUE(test::generateMarket(chart, "--codes 6 --to 20260109"));
    test::writeFile(dir / "Quarlink.conf", chart.string() + ",0\r\n");
    const std::string key = "fake-key-japanese-5ca1ab1e", serve = "--rate-window-ms 0 --now 2026-01-09T18:00 --api-key " + key;
    test::PageServer standard(chart, serve + " --plan standard"), free(chart, serve + " --plan free");
    test::LoopbackServer broken(test::reply("HTTP/1.0 500 X\r\nContent-Length: 35\r\n\r\n" R"({"message":"Internal server error"})"), true);
    const struct {
        std::string key;
        int port, exit;
        const char* serverSaid;
    } cases[] = {{"fake-key-japanese-0bad0bad", standard.port(), 1, "（\"The incoming api key is invalid or expired.\"）"},
                 {key, free.port(), 1, "TOPIX（/indices/bars/daily/topix）"},
                 {key, broken.port(), 2, "（\"Internal server error\"）"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serverSaid);
        test::writeFile(dir / "endpoints.conf",
                        "jquants=http://127.0.0.1:" + std::to_string(c.port) + "/v2\njquants_rpm=0\nretry_wait_ms=0\n");
        const test::ProcessResult r = test::runProcess(QUARLINK_CLI_PATH,
                                                       {"--workdir", dir.path().string(), "update", "--source", "jquants",
                                                        "--topix", "--from", "20251013", "--through", "20251017"},
                                                       {{"JQUANTS_API_KEY", c.key}}, {}, std::chrono::seconds(60));
        EXPECT_EQ(r.exitCode, c.exit) << r.out << r.err;
        EXPECT_NE(r.err.find(c.serverSaid), std::string::npos) << r.err;
        EXPECT_EQ(test::englishSentence(r.out + "\n" + r.err), "") << r.out << r.err;
    }
}

}  // namespace quarlink
