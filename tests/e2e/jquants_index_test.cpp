// quarlink-cli index-update --source jquants against the API of quarlink-pages.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "core/store/index_table.h"
#include "core/store/text_encoding.h"
#include "support/page_server.h"
#include "support/run_process.h"
#include "support/scratch_chart.h"

namespace quarlink {
namespace {

namespace fs = std::filesystem;
constexpr const char* kKey = "fake-key-index-5eed1234";
constexpr std::int32_t kLastDay = 20260109;

std::string line(const IndexTable& t, int code) {
    char head[8];
    std::snprintf(head, sizeof head, "%04d", code);
    std::string l = std::string(head) + "," + t.name[code] + "," + t.market[code] + "," + t.unit[code];
    return t.flags[code].empty() ? l : l + "," + t.flags[code];
}

// The codes listed under `title` in the command's output.
std::set<int> listed(const std::string& out, const std::string& title) {
    std::set<int> codes;
    std::istringstream in(out);
    bool inside = false;
    for (std::string l; std::getline(in, l);) {
        if (l.rfind(title + " (", 0) == 0) inside = true;
        else if (inside && !l.empty() && l.find('\t') == std::string::npos) inside = false;
        else if (inside) codes.insert(std::stoi(l.substr(0, 4)));
    }
    return codes;
}

// The master maps the old markets onto today's (H, the Osaka Hercules, comes
// back as Growth: M), keeps the markets it cannot map, gives a code missing
// locally a unit of 100, and marks the name that lost a character; codes only
// the local list has are unregistered; the indices are left alone.
TEST(JQuantsIndexUpdate, BuildsTheListsFromTheMasterAndApplies) {
    test::ScratchChart dir;
    const fs::path market = dir.root / "market";
    ASSERT_TRUE(test::generateMarket(market, "--codes 40 --to " + std::to_string(kLastDay)));
    // The free plan has no master of today.
    test::PageServer server(market, std::string("--api-key ") + kKey + " --plan light --rate-window-ms 0");

    IndexTable published;
    ASSERT_TRUE(loadIndexTable(market / "index.txt", published));
    std::vector<int> stocks;
    for (int code = 1000; code < kCodeCount; ++code)
        if (published.isRegistered(code)) stocks.push_back(code);
    ASSERT_GT(stocks.size(), 10u);
    const int dropped = stocks[5], renamed = stocks[1];

    dir.writeFile(layout::endpointsFile(dir.app),
                  "jquants=http://127.0.0.1:" + std::to_string(server.port()) + "/v2\njquants_rpm=0\n");
    dir.writeOptions();
    const fs::path index = layout::indexFile(dir.app);
    IndexTable local = published;
    local.clearEntry(dropped);
    local.name[9990] = "LOCAL", local.market[9990] = "T1", local.unit[9990] = "100";
    ASSERT_TRUE(saveIndexTable(index, local, 20200101));
    const std::string before = test::readFile(index);

    std::set<int> changed{dropped, renamed};
    for (const int code : stocks)
        if (published.market[code] == "H") changed.insert(code);
    const auto run = [&](std::vector<std::string> args, const char* key = kKey) {
        args.insert(args.begin(), {"--workdir", dir.app.workDir.string(), "index-update", "--source", "jquants"});
        return test::runProcess(QUARLINK_CLI_PATH, args, {{"JQUANTS_API_KEY", key}}, {},
                                std::chrono::milliseconds(60'000));
    };

    const auto refused = run({"--apply", "--yes"}, "fake-key-index-0bad0bad");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out.find("0bad0bad"), std::string::npos);
    EXPECT_EQ(refused.err.find("0bad0bad"), std::string::npos);
    EXPECT_EQ(test::readFile(index), before);

    const auto shown = run({});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(listed(shown.out, "変更データ"), changed);
    EXPECT_EQ(listed(shown.out, "未登録データ"), std::set<int>{9990});
    EXPECT_NE(shown.out.find("Shift-JIS"), std::string::npos);
    EXPECT_NE(shown.err.find("3 件"), std::string::npos) << shown.err;  // two letter codes, one preferred share
    EXPECT_EQ(test::readFile(index), before);

    const auto applied = run({"--apply", "--yes"});
    ASSERT_EQ(applied.exitCode, 0) << applied.err;
    IndexTable after;
    ASSERT_TRUE(loadIndexTable(index, after));
    EXPECT_EQ(after.date, kLastDay);
    for (const int code : stocks) {
        IndexTable expected = published;
        if (code == dropped) expected.unit[code] = "100", expected.flags[code].clear();
        if (code == renamed) expected.name[code] = "?" + published.name[code];
        if (published.market[code] == "H") expected.market[code] = "M";
        if (code == dropped && (published.market[code] == "O1" || published.market[code] == "O2"))
            expected.market[code] = "-";
        EXPECT_EQ(cp932ToUtf8(line(after, code)), cp932ToUtf8(line(expected, code)));
    }
    EXPECT_EQ(line(after, 101), line(published, 101));
    EXPECT_TRUE(after.isRegistered(9990));  // unregistered, but not removed
}

}  // namespace
}  // namespace quarlink
