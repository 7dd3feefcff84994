#include <gtest/gtest.h>

#include "core/web/endpoints.h"

namespace quarlink {
namespace {

TEST(Endpoints, ParsesKeysPortsAndKeepsDefaultsForBadLines) {
    const Endpoints e = parseEndpoints(
        "# local server\r\n"
        "\r\n"
        "quote=127.0.0.1:8080\r\n"
        "history = pages.local\n"
        "stock=bad:port\n"
        "index=dl.example:99999\n"
        "pause_ms=250\n"
        "proxy=proxy.lan:3128\n"
        "unknown=x:1\n");
    EXPECT_EQ(e.quote.host, "127.0.0.1");
    EXPECT_EQ(e.quote.port, 8080);
    EXPECT_EQ(e.history.host, "pages.local");
    EXPECT_EQ(e.history.port, 80);
    EXPECT_EQ(e.stock.host, "money.www.infoseek.co.jp");
    EXPECT_FALSE(e.index.configured());
    EXPECT_EQ(e.pauseMs, 250);
    ASSERT_TRUE(e.proxy);
    EXPECT_EQ(e.proxy->host, "proxy.lan");
    EXPECT_EQ(e.proxy->port, 3128);
}

TEST(Endpoints, TimeoutsTakeWholePositiveMillisecondsOnly) {
    const Endpoints set = parseEndpoints("timeout_ms=1500\npage_timeout_ms = 4000\n");
    EXPECT_EQ(set.timeoutMs, 1500);
    EXPECT_EQ(set.pageTimeoutMs, 4000);
    for (const char* bad : {"timeout_ms=0\n", "timeout_ms=-5\n", "timeout_ms=2s\n", "page_timeout_ms=\n",
                            "page_timeout_ms=99999999999\n"}) {
        const Endpoints e = parseEndpoints(bad);
        EXPECT_FALSE(e.timeoutMs) << bad;
        EXPECT_FALSE(e.pageTimeoutMs) << bad;
    }
}

TEST(Endpoints, RetryScheduleKeepsTheDefaultForBadValues) {
    const Endpoints set = parseEndpoints("retry_attempts=1\nretry_wait_ms=0\n");
    EXPECT_EQ(set.retryAttempts, 1);
    EXPECT_EQ(set.retryWaitMs, 0);
    for (const char* bad : {"retry_attempts=0\nretry_wait_ms=-1\n", "retry_attempts=101\nretry_wait_ms=1s\n"}) {
        const Endpoints e = parseEndpoints(bad);
        EXPECT_EQ(e.retryAttempts, 4) << bad;
        EXPECT_EQ(e.retryWaitMs, 2000) << bad;
    }
}

TEST(Endpoints, JQuantsKeysKeepTheDefaultForBadValues) {
    const Endpoints set = parseEndpoints(
        "jquants=http://127.0.0.1:9000/v2/\njquants_plan=standard\njquants_rpm=0\njquants_ca=/etc/ca.pem\n");
    EXPECT_EQ(set.jquants, "http://127.0.0.1:9000/v2");
    EXPECT_EQ(set.jquantsPlan, JQuantsPlan::Standard);
    EXPECT_EQ(set.jquantsRpm, 0);
    EXPECT_EQ(set.jquantsCa, "/etc/ca.pem");
    const Endpoints bad = parseEndpoints("jquants=ftp://x/v2\njquants_plan=gold\njquants_rpm=-1\n");
    EXPECT_EQ(bad.jquants, "https://api.jquants.com/v2");
    EXPECT_EQ(bad.jquantsPlan, JQuantsPlan::Free);
    EXPECT_FALSE(bad.jquantsRpm);
    EXPECT_TRUE(bad.jquantsCa.empty());
}

TEST(Endpoints, MissingFileGivesDefaults) {
    const Endpoints e = loadEndpoints("/nonexistent/endpoints.conf");
    EXPECT_EQ(e.quote.host, "quote.yahoo.co.jp");
    EXPECT_EQ(e.history.host, "table.yahoo.co.jp");
    EXPECT_EQ(e.pauseMs, 0);
    EXPECT_FALSE(e.proxy);
}

}  // namespace
}  // namespace quarlink
