#include <gtest/gtest.h>

#include "core/jobs/web_session.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"
#include "support/scripted_fetcher.h"
#include "support/fake_clock.h"

namespace quarlink {
namespace {

using namespace std::chrono_literals;

TEST(WebSession, OwnClientWaitsOnTheGivenSleeperAsEndpointsSay) {
    test::TempDir dir;
    Application app;
    app.workDir = dir.path();
    test::LoopbackServer refusing({}, false);
    struct Case {
        const char* conf;
        std::chrono::milliseconds slept;
    };
    for (const Case& c : {Case{"", 6000ms}, Case{"retry_attempts=2\nretry_wait_ms=250\n", 250ms}}) {
        test::writeFile(dir / "endpoints.conf", c.conf);
        InstantSleeper sleeper;
        WebEnvironment environment = systemEnvironment();
        environment.sleeper = &sleeper;
        WebSession web(app, environment);
        std::string response;
        EXPECT_EQ(web.fetcher().fetch("127.0.0.1", static_cast<std::uint16_t>(refusing.port()), "/", response), 0);
        EXPECT_EQ(sleeper.slept, c.slept) << c.conf;
    }
}

TEST(WebSession, ReaderUsesTheGivenFetcherAndClock) {
    test::TempDir dir;
    Application app;
    app.workDir = dir.path();
    test::ScriptedFetcher fetcher;
    FixedClock clock({2006, 12, 5});
    WebSession web(app, test::onClock(clock), &fetcher);
    std::int32_t v[8] = {};
    EXPECT_EQ(web.reader().ReadInfoSeekQuote(7203, 1, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]), -2);
    ASSERT_EQ(fetcher.requests.size(), 1u) << "the canned fetcher, not a socket";
    EXPECT_EQ(&web.clock(), &clock);
    web.abort();  // nothing of its own to abort: the given fetcher stays usable
    EXPECT_EQ(web.reader().ReadInfoSeekQuote(7203, 1, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]), -2);
    EXPECT_EQ(fetcher.requests.size(), 2u);
}

}  // namespace
}  // namespace quarlink
