// quarlink-cli's page reads against quarlink-pages on a loopback port give
// back exactly the values of the generated market folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/env/clock.h"
#include "core/store/price_file.h"
#include "core/web/http_client.h"

#include "support/page_server.h"
#include "support/run_process.h"

namespace quarlink {
namespace {

namespace fs = std::filesystem;

using Ran = quarlink::test::ProcessResult;
using quarlink::test::PageServer;

class PagesCliTest : public ::testing::Test {
protected:
    static inline fs::path root;
    static inline fs::path market;
    static inline fs::path workdir;
    static inline fs::path brokenWorkdir;
    static inline PageServer* server = nullptr;
    static inline LocalDateTime today;
    static inline int brokenCode = 0;

    static void SetUpTestSuite() {
        root = fs::temp_directory_path() / ("quarlink-e2e-" + std::to_string(getpid()));
        fs::create_directories(root);
        market = root / "market";
        today = SystemClock{}.now();
        ASSERT_TRUE(quarlink::test::generateMarket(market, "--codes 12 --seed 7 --to " + std::to_string(today.yyyymmdd())));
        brokenCode = codes().back();
        server = new PageServer(market, "--break-format " + std::to_string(brokenCode));
        ASSERT_GT(server->port(), 0);
        workdir = root / "work";
        writeEndpoints(workdir, server->port());
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
        fs::remove_all(root);
    }

    static void writeEndpoints(const fs::path& dir, int port) {
        fs::create_directories(dir);
        std::ofstream(dir / "endpoints.conf") << "# test server\n"
                                              << "quote=127.0.0.1:" << port << "\nhistory=127.0.0.1:" << port
                                              << "\nstock=127.0.0.1:" << port << "\n";
    }

    static std::vector<int> codes() {
        std::vector<int> all;
        for (const auto& entry : fs::directory_iterator(market / "data")) {
            const int code = std::stoi(entry.path().filename().string());
            if (code >= 1000) all.push_back(code);
        }
        std::sort(all.begin(), all.end());
        return all;
    }
    static PriceSeries series(int code) {
        char name[8];
        std::snprintf(name, sizeof name, "%04d", code);
        PriceSeries s;
        EXPECT_TRUE(loadPriceFile(market / "data" / name, s));
        return s;
    }
    static std::int32_t lastDay() { return series(101).rows.back().date; }

    // `args` are separated by blanks.
    static Ran cli(const std::string& args, const fs::path& dir = workdir) {
        std::vector<std::string> argv{"--workdir", dir.string()};
        std::istringstream words(args);
        for (std::string w; words >> w;) argv.push_back(w);
        return quarlink::test::runProcess(QUARLINK_CLI_PATH, argv);
    }

    static std::string line(const PriceRecord& r, bool withVolume, bool withMargin) {
        std::ostringstream out;
        out << r.date << ' ' << r.open << ' ' << r.high << ' ' << r.low << ' ' << r.close << ' '
            << (withVolume ? r.volume : 0) << ' ' << (withMargin ? r.marginBuy : 0) << ' '
            << (withMargin ? r.marginSell : 0) << '\n';
        return out.str();
    }
};

TEST_F(PagesCliTest, QuotesOfBothSourcesMatchTheMarket) {
    int traded = 0, untraded = 0;
    for (int code : codes()) {
        if (code == brokenCode) continue;
        const PriceSeries s = series(code);
        const std::string c = std::to_string(code);
        if (s.rows.back().date != lastDay()) {
            ++untraded;
            for (const char* source : {"infoseek", "yahoo"}) {
                const Ran r = cli("quote " + c + " --source " + source);
                EXPECT_EQ(r.exitCode, 1) << c << " " << source;
                EXPECT_EQ(r.out, "-1\n") << c << " " << source;
            }
            continue;
        }
        ++traded;
        // The latest weekly balances are the ones on the pages.
        PriceRecord expected = s.rows.back();
        for (auto row = s.rows.rbegin(); row != s.rows.rend(); ++row)
            if (row->marginBuy || row->marginSell) {
                expected.marginBuy = row->marginBuy;
                expected.marginSell = row->marginSell;
                break;
            }
        for (const char* source : {"infoseek", "yahoo"}) {
            const Ran margin = cli("quote " + c + " --source " + source + " --mode 1");
            EXPECT_EQ(margin.exitCode, 0) << c << " " << source;
            EXPECT_EQ(margin.out, "1 " + line(expected, true, true)) << c << " " << source;
            EXPECT_EQ(cli("quote " + c + " --source " + source + " --mode 0").out, "1 " + line(expected, true, false));
        }
    }
    EXPECT_GT(traded, 0);
    EXPECT_GT(untraded, 0) << "the market has codes without a trade on the last day";

    const Ran nikkei = cli("quote 100000018 --mode 2");
    EXPECT_EQ(nikkei.exitCode, 0);
    EXPECT_EQ(nikkei.out, "1 " + line(series(101).rows.back(), false, false));
    EXPECT_EQ(cli("quote 9998 --source yahoo").out, "-1\n");
    EXPECT_EQ(cli("quote 9998").exitCode, 1);
}

TEST_F(PagesCliTest, HistoryAndMarginTablesMatchTheMarket) {
    const int startYear = today.year - 1;
    for (int code : {codes()[0], codes()[2]}) {  // the second is the code whose history starts late
        const PriceSeries s = series(code);
        std::string expected = "1\n", expectedMargin = "1\n";
        int startMonth = today.month - 6, marginYear = today.year;
        if (startMonth <= 0) {
            startMonth += 12;
            --marginYear;
        }
        const std::int32_t marginFrom = marginYear * 10000 + startMonth * 100 + 1;
        for (const auto& r : s.rows) {
            if (r.date >= startYear * 10000) expected += line(r, true, true);
            if (r.date >= marginFrom && (r.marginBuy || r.marginSell))
                expectedMargin += std::to_string(r.date) + ' ' + std::to_string(r.marginBuy) + ' ' +
                                  std::to_string(r.marginSell) + '\n';
        }
        const Ran history = cli("history " + std::to_string(code) + " --start-year " + std::to_string(startYear) +
                                " --mode 1");
        EXPECT_EQ(history.exitCode, 0);
        EXPECT_EQ(history.out, expected) << code;
        const Ran margin = cli("margin " + std::to_string(code));
        EXPECT_EQ(margin.exitCode, 0);
        EXPECT_EQ(margin.out, expectedMargin) << code;
    }

    std::string topix = "1\n";
    for (const auto& r : series(102).rows) topix += line(r, false, false);
    EXPECT_EQ(cli("history 998405 --start-year " + std::to_string(startYear) + " --mode 2").out, topix);
    EXPECT_EQ(cli("history 9998 --start-year " + std::to_string(today.year)).out, "-1\n");
    EXPECT_EQ(cli("margin 9998").exitCode, 1);
}

// index.txt lists 0101 and 0102, so the jobs ask for them by the chart code;
// only the services' own numbers give the index pages.
TEST_F(PagesCliTest, IndexSeriesByTheirChartCodesReadAsNoSuchCode) {
    const std::string year = std::to_string(today.year);
    for (const char* code : {"101", "102"}) {
        for (const char* mode : {"0", "1", "2"}) {
            for (const char* source : {"infoseek", "yahoo"}) {
                const Ran quote = cli(std::string("quote ") + code + " --source " + source + " --mode " + mode);
                EXPECT_EQ(quote.exitCode, 1) << code << " " << source << " " << mode;
                EXPECT_EQ(quote.out, "-1\n") << code << " " << source << " " << mode;
            }
            EXPECT_EQ(cli(std::string("history ") + code + " --start-year " + year + " --mode " + mode).out, "-1\n")
                << code << " " << mode;
        }
        EXPECT_EQ(cli(std::string("margin ") + code).exitCode, 1) << code;
    }
    EXPECT_EQ(cli("quote 100000018 --mode 2").exitCode, 0);
    EXPECT_EQ(cli("history 998407 --start-year " + year + " --mode 2").exitCode, 0);
    EXPECT_EQ(cli("history 998405 --start-year " + year + " --mode 2").exitCode, 0);
}

TEST_F(PagesCliTest, BrokenFormatsAndDroppedConnectionsStopWithTheirExitCodes) {
    const std::string c = std::to_string(brokenCode);
    const Ran infoSeek = cli("quote " + c);
    EXPECT_EQ(infoSeek.exitCode, 3);
    EXPECT_EQ(infoSeek.out, "-3\nFORMAT CHANGED : Value 3 form HtmlValueFormat\n");
    EXPECT_EQ(cli("quote " + c + " --source yahoo").out, "-3\nFORMAT CHANGED : Value 3\n");
    EXPECT_EQ(cli("history " + c + " --start-year " + std::to_string(today.year)).out,
              "-3\nFORMAT CHANGED : Value 7 form HtmlValueFormat\n");
    EXPECT_EQ(cli("margin " + c).out, "-3\nFORMAT CHANGED : Shin 3 form HtmlValueFormat\n");

    PageServer dropping(market, "--fail-every 1");
    ASSERT_GT(dropping.port(), 0);
    const fs::path dir = root / "dropping";
    writeEndpoints(dir, dropping.port());
    const Ran dropped = cli("quote " + std::to_string(codes()[0]), dir);
    EXPECT_EQ(dropped.exitCode, 3) << "an empty answer is an unrecognised page";

    // An answer held back is the same answer (how long the client waits for
    // one is tested on fake time with HttpClient).
    PageServer slow(market, "--delay-ms 1");
    const fs::path slowDir = root / "slow";
    writeEndpoints(slowDir, slow.port());
    const std::string quote = "quote " + std::to_string(codes()[0]);
    const Ran late = cli(quote, slowDir);
    EXPECT_EQ(late.exitCode, 0);
    EXPECT_EQ(late.out, cli(quote).out);
}

TEST_F(PagesCliTest, IndexDownloadServesTheMarketsIndexBytes) {
    HttpClient client(systemEnvironment());
    std::string response;
    ASSERT_EQ(client.fetch("127.0.0.1", static_cast<std::uint16_t>(server->port()), "/download/index.txt", response), 1);
    std::ifstream file(market / "index.txt", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto body = response.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(response.substr(body + 4), bytes);
}

// The benchmarks replay the log with curl: it must hold every request's
// target, query included, in the order they came.
TEST_F(PagesCliTest, LogHoldsEveryRequestTargetInOrder) {
    const fs::path log = root / "requests.log";
    {
        PageServer logged(market, "--log " + log.string());
        const fs::path dir = root / "logged";
        writeEndpoints(dir, logged.port());
        const int code = codes()[0];
        EXPECT_EQ(cli("quote " + std::to_string(code), dir).exitCode, 0);
        EXPECT_EQ(cli("quote " + std::to_string(code) + " --source yahoo --mode 2", dir).exitCode, 0);
        std::ifstream file(log);
        std::vector<std::string> lines;
        for (std::string l; std::getline(file, l);) lines.push_back(l);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "/MnStock/" + std::to_string(code) + "/sresult/");
        EXPECT_EQ(lines[1].rfind("/q?", 0), 0u) << lines[1];
        EXPECT_NE(lines[1].find("s=" + std::to_string(code)), std::string::npos) << lines[1];
    }
}

}  // namespace
}  // namespace quarlink
