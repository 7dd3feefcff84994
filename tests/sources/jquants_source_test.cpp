// A code's J-Quants rows in the page reader's shape, from canned API answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "core/sources/jquants_source.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

constexpr const char* kBars =
    R"({"data":[)"
    R"({"Date":"2026-01-05","Code":"13010","O":100.5,"H":110.25,"L":90.0,"C":105.49,"Vo":1000.0},)"
    R"({"Date":"2026-01-06","Code":"13010","O":null,"H":null,"L":null,"C":null,"Vo":null},)"
    R"({"Date":"2026-01-07","Code":"13010","O":100.0,"H":101.0,"L":99.5,"C":100.0,"Vo":2000.0},)"
    R"({"Date":"2026-01-07","Code":"13015","O":900.0,"H":900.0,"L":900.0,"C":900.0,"Vo":10.0},)"
    R"({"Date":"2026-01-08","Code":"13010","O":null,"H":null,"L":null,"C":null,"Vo":null}]})";
constexpr const char* kMargin =
    R"({"data":[)"
    R"({"Date":"2026-01-05","Code":"13010","LongVol":500.0,"ShrtVol":200.0},)"
    R"({"Date":"2026-01-06","Code":"13010","LongVol":600.0,"ShrtVol":0.0}]})";

// Answers each request by its path: bars, or margin balances.
test::Serve answerWith(std::string bars, std::string margin) {
    return [bars, margin](int fd, const std::atomic<bool>& stop) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && test::waitReadable(fd, stop)) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) return;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string& body = request.find("/markets/margin-interest") != std::string::npos ? margin : bars;
        test::sendAll(fd,
                      "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body,
                      stop);
    };
}

// Prices are rounded to the yen, halves up; days without trade and other
// share classes give no row, but the last day served (a halt) is kept; a
// balance dated on a halted day goes onto the next day that traded.
TEST(JQuantsSource, HistoryInThePageReadersShape) {
    test::LoopbackServer server(answerWith(kBars, kMargin), true);
    test::TempDir dir;
    Application app;
    app.workDir = dir.path();
    Endpoints endpoints;
    endpoints.jquants = "http://127.0.0.1:" + std::to_string(server.port()) + "/v2";
    endpoints.jquantsRpm = 0;
    ::setenv("JQUANTS_API_KEY", "fake-source-key", 1);
    const std::unique_ptr<void, void (*)(void*)> unset(&endpoints, [](void*) { ::unsetenv("JQUANTS_API_KEY"); });
    JQuantsSource source(app, endpoints, systemEnvironment());
    ASSERT_TRUE(source.connect().answered());

    for (const bool margin : {false, true}) {
        SCOPED_TRACE(margin ? "with margin" : "without margin");
        HistoryRows rows;
        ASSERT_TRUE(source.history(1301, 20260101, 20260109, margin, rows).ok());
        EXPECT_EQ(rows.dates, (std::vector<std::int32_t>{20260105, 20260107}));
        EXPECT_EQ(rows.opens, (std::vector<std::int32_t>{101, 100}));
        EXPECT_EQ(rows.highs, (std::vector<std::int32_t>{110, 101}));
        EXPECT_EQ(rows.lows, (std::vector<std::int32_t>{90, 100}));
        EXPECT_EQ(rows.closes, (std::vector<std::int32_t>{105, 100}));
        EXPECT_EQ(rows.volumes, (std::vector<std::int32_t>{1000, 2000}));
        EXPECT_EQ(rows.buys, (std::vector<std::int32_t>{margin ? 500 : 0, margin ? 600 : 0}));
        EXPECT_EQ(rows.sells, (std::vector<std::int32_t>{margin ? 200 : 0, 0}));
        EXPECT_EQ(rows.lastServed, 20260108);
    }
}

// A row that cannot be a price stops the job as an unrecognised page, saying
// which code, field and value, and hands on no rows.
TEST(JQuantsSource, ARowThatCannotBeAPriceStopsAsAnUnrecognisedPage) {
    const std::string badBars = std::string(kBars).replace(std::string(kBars).find("100.5"), 5, R"("abc")");
    const std::string badMargin = std::string(kMargin).replace(std::string(kMargin).find("500.0"), 5, "-500.0");
    const struct {
        std::string bars, margin;
        const char* said;
    } cases[] = {{badBars, kMargin, R"(銘柄コード13010の項目Oの値"abc")"},
                 {kBars, badMargin, "銘柄コード13010の項目LongVolの値-500.0（負の値です）"}};
    const Application app;
    ::setenv("JQUANTS_API_KEY", "fake-source-key", 1);
    const std::unique_ptr<const Application, void (*)(const Application*)> unset(
        &app, [](const Application*) { ::unsetenv("JQUANTS_API_KEY"); });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        test::LoopbackServer server(answerWith(c.bars, c.margin), true);
        Endpoints endpoints;
        endpoints.jquants = "http://127.0.0.1:" + std::to_string(server.port()) + "/v2";
        endpoints.jquantsRpm = 0;
        JQuantsSource source(app, endpoints, systemEnvironment());
        ASSERT_TRUE(source.connect().answered());
        HistoryRows rows;
        const SourceResult stop = source.codeBars(1301, 20260101, 20260109, true, rows);
        const std::string& said = stop.reason;
        EXPECT_EQ(stop.answer, Answer::Unrecognised);
        EXPECT_EQ(said.rfind(jquants_text::kUnrecognised, 0), 0u) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_TRUE(rows.dates.empty());
    }
}

}  // namespace
}  // namespace quarlink
