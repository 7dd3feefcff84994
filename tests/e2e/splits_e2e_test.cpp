// The splits of quarlink-pages' market, whose prices really jump, reach index.txt
// through its J-Quants API, and the chart's adjustment then has no cliff.
#include <gtest/gtest.h>

#include <regex>

#include "core/store/folder_layout.h"
#include "core/store/index_flags.h"
#include "core/store/price_file.h"
#include "support/page_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

namespace fs = std::filesystem;
constexpr const char* kKey = "fake-key-splits-0d15ea5e";

struct SplitsE2e : ::testing::Test {
    test::TempDir dir;
    bool generated = test::generateMarket(dir / "market", "--codes 30 --from 2025 --to 20260109");
    test::PageServer server{dir / "market", std::string("--api-key ") + kKey + " --plan standard --rate-window-ms 0"};
    const std::string market = test::readFile(dir / "market" / "index.txt");
    const fs::path work = dir / "work";

    // The market's index.txt without its split tokens, the prices when asked.
    SplitsE2e() {
        fs::create_directories(work / "chart" / "data");
        test::writeFile(work / "chart" / "index.txt", std::regex_replace(market, std::regex(",S:[0-9]+:[0-9.]+"), ""));
        test::writeFile(work / "endpoints.conf",
                        "jquants=http://127.0.0.1:" + std::to_string(server.port()) + "/v2\njquants_rpm=0\nretry_wait_ms=0\n");
        test::writeFile(work / "Quarlink.conf", (work / "chart").string() + ",0\r\n");
    }
    test::ProcessResult cli(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--workdir", work.string()});
        return test::runProcess(QUARLINK_CLI_PATH, args, {{"JQUANTS_API_KEY", kKey}}, {}, std::chrono::minutes(2));
    }
    std::string index() const { return test::readFile(work / "chart" / "index.txt"); }
};

TEST_F(SplitsE2e, InitialDataRecordsEverySplitOnce) {
    ASSERT_TRUE(generated);
    for (const auto& [resume, named] : {std::pair{"1000", true}, std::pair{"1400", false}}) {
        SCOPED_TRACE(resume);
        const auto r = cli({"init-create", "--source", "jquants", "--start-year", "2025", "--resume-from", resume});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(index(), market);
        EXPECT_EQ(r.err.find("株式分割・併合を記録しました") != std::string::npos, named) << r.err;
    }
}

TEST_F(SplitsE2e, SplitsCommandListsAppliesOnceAndTheChartHasNoCliff) {
    ASSERT_TRUE(generated);
    fs::copy(dir / "market" / "data", work / "chart" / "data");
    EXPECT_EQ(cli({"splits", "--source", "pages"}).exitCode, 1);
    EXPECT_EQ(cli({"splits", "--source", "jquants", "--from", "20991231"}).exitCode, 1);
    IndexTable table;
    readIndexTable(market, table);
    std::size_t splits = 0;
    for (int code = 0; code < kCodeCount; ++code) splits += parseFlags(table.flags[code]).splits.size();
    ASSERT_GE(splits, 4u);
    const std::string stripped = index();
    const std::pair<bool, std::size_t> runs[] = {{false, splits}, {true, splits}, {true, 0}};
    for (const auto& [apply, listed] : runs) {
        std::vector<std::string> args{"splits", "--source", "jquants", "--from", "20250101"};
        if (apply) args.push_back("--apply");
        const auto r = cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("index.txtにない分割・併合 (" + std::to_string(listed) + ")"), std::string::npos) << r.out;
        EXPECT_EQ(index(), apply ? market : stripped);
    }

    // Stored, the prices jump at the ex-rights date; as the chart shows them, they do not.
    for (int code = 0; code < kCodeCount; ++code) {
        for (const Split& split : parseFlags(table.flags[code]).splits) {
            SCOPED_TRACE(code);
            PriceSeries stored;
            ASSERT_TRUE(loadPriceFile(work / "chart" / "data" / layout::codeName(code), stored));
            PriceSeries shown = stored;
            adjustForSplits(table, code, shown);
            std::size_t d = 0;
            while (d < stored.size() && stored[d].date < split.date) ++d;
            ASSERT_TRUE(d > 0 && d < stored.size() && stored[d].date == split.date);
            const double jump = double(stored[d - 1].close) / stored[d].close;
            const double step = double(shown[d - 1].close) / shown[d].close;
            EXPECT_GT(std::max(jump, 1 / jump), 1.5);
            EXPECT_LT(std::max(step, 1 / step), 1.1) << shown[d - 1].close << " " << shown[d].close;
        }
    }
}

}  // namespace
}  // namespace quarlink
