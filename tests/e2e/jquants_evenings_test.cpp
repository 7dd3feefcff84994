// The catch-up run every evening against a mock that publishes as the
// service does: bars at 16:30, margin balances a business day later (daily
// from 2026-09-25, weekly on the second business day after the Friday
// before), a split's adjustment factor on its ex-rights date.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "core/store/index_flags.h"
#include "core/store/folder_layout.h"
#include "core/store/index_table.h"
#include "core/store/price_file.h"
#include "support/page_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

namespace fs = std::filesystem;
using test::readFile;

constexpr const char* kKey = "fake-key-evenings-5eed";

PriceSeries seriesAt(const fs::path& file) { return parsePriceSeries(readFile(file)); }

// A market, and a chart folder holding it through `seed` with every split token taken out.
struct Evenings {
    test::TempDir dir;
    fs::path market = dir / "market", work = dir / "work", data = work / "chart" / "data";
    IndexTable published;

    Evenings(const std::string& generate, std::int32_t seed) {
        EXPECT_TRUE(test::generateMarket(market, "--codes 40 " + generate));
        loadIndexTable(market / "index.txt", published);
        fs::create_directories(data);
        test::writeFile(work / "Quarlink.conf", (work / "chart").string() + ",0\r\n");
        IndexTable bare = published;
        for (std::string& flags : bare.flags) {
            IndexFlags f = parseFlags(flags);
            flags = composeFlags(f.n225, f.obs, f.a500, {});
        }
        saveIndexTable(work / "chart" / "index.txt", bare, bare.date);
        for (const auto& e : fs::directory_iterator(market / "data")) {
            PriceSeries kept;
            for (const PriceRecord& r : seriesAt(e.path()).rows)
                if (r.date <= seed) kept.append(r);
            if (std::atoi(e.path().filename().c_str()) >= 1000)
                test::writeFile(data / e.path().filename(), serializePriceSeries(kept));
        }
    }

    // One evening's run at 18:00 Japan time on `day`.
    test::ProcessResult evening(std::int32_t day) {
        char now[32];
        std::snprintf(now, sizeof now, "%04d-%02d-%02dT18:00", day / 10000, day / 100 % 100, day % 100);
        test::PageServer server(market, std::string("--api-key ") + kKey + " --plan standard --rate-window-ms 0 --now " + now);
        test::writeFile(work / "endpoints.conf",
                        "jquants=http://127.0.0.1:" + std::to_string(server.port()) + "/v2\njquants_rpm=0\n");
        return test::runProcess(QUARLINK_CLI_PATH,
                                {"--workdir", work.string(), "update", "--source", "jquants", "--all-codes",
                                 "--through=" + std::to_string(day)},
                                {{"JQUANTS_API_KEY", kKey}});
    }
};

// Evenings of one week: every record ends up with the balances of its own
// record date once they are published, carried from the last published
// before that; prices are the market's. Daily rows since 2026-09-25, weekly
// (Friday) rows before.
TEST(JQuantsEvenings, BalancesLandOnTheirRecordDates) {
    const struct {
        const char* name;
        const char* generate;
        std::int32_t seed;
        std::vector<std::int32_t> evenings;
    } cases[] = {
        {"daily", "--from 2026 --to 20261016", 20261002, {20261005, 20261006, 20261007, 20261008, 20261009}},
        {"weekly", "--from 2025 --to 20251121", 20251107, {20251110, 20251111, 20251112, 20251113, 20251114,
                                                                20251117, 20251118}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Evenings e(c.generate, c.seed);
        for (std::int32_t day : c.evenings) {
            const test::ProcessResult r = e.evening(day);
            ASSERT_EQ(r.exitCode, 0) << day << r.out << r.err;
        }
        const std::int32_t last = c.evenings.back();
        int placed = 0;
        for (const auto& f : fs::directory_iterator(e.data)) {
            const PriceSeries got = seriesAt(f.path()), all = seriesAt(e.market / "data" / f.path().filename());
            // The balance a record should hold on the last evening: the newest
            // whose publication (the next business day 16:00, or a Friday's
            // on the second business day after) came before it.
            std::size_t i = 0;
            for (std::size_t k = 0; k < all.size() && all.rows[k].date <= last; ++k) {
                const PriceRecord& want = all.rows[k];
                ASSERT_LT(i, got.size()) << f.path();
                PriceRecord have = got.rows[i++];
                EXPECT_EQ(have.date, want.date);
                EXPECT_EQ(have.close, want.close);
                if (want.date <= c.seed || (!want.marginBuy && !want.marginSell)) continue;
                // Published by the last evening: every record date but the newest one or two.
                std::size_t later = 0;
                for (std::size_t j = k + 1; j < all.size() && all.rows[j].date <= last; ++j) ++later;
                const bool published = std::string(c.name) == "daily" ? later >= 1 : later >= 2;
                if (!published) continue;
                EXPECT_EQ(have.marginBuy, want.marginBuy) << f.path() << " " << want.date;
                EXPECT_EQ(have.marginSell, want.marginSell) << f.path() << " " << want.date;
                ++placed;
            }
        }
        EXPECT_GT(placed, 10);
    }
}

// A split in the gap: its token goes into index.txt once, at the ex-rights
// date, and the chart's own adjustment makes the file continuous across it.
TEST(JQuantsEvenings, SplitsAreRecordedOnceAndAdjustTheChart) {
    Evenings probe("--from 2025 --to 20251219", 20251219);
    std::vector<std::pair<int, Split>> splits;
    for (int code = 1000; code < kCodeCount; ++code)
        for (const Split& s : parseFlags(probe.published.flags[code]).splits) splits.push_back({code, s});
    ASSERT_GE(splits.size(), 2u);  // a split and a consolidation
    const std::int32_t first = std::min(splits[0].second.date, splits[1].second.date);
    Evenings e("--from 2025 --to 20251219", first - 7);

    for (int run = 0; run < 2; ++run) ASSERT_EQ(e.evening(20251219).exitCode, 0);
    IndexTable after;
    ASSERT_TRUE(loadIndexTable(e.work / "chart" / "index.txt", after));
    for (const auto& [code, split] : splits) {
        SCOPED_TRACE(code);
        const IndexFlags flags = parseFlags(after.flags[code]);
        ASSERT_EQ(flags.splits.size(), 1u) << after.flags[code];
        EXPECT_EQ(flags.splits[0].date, split.date);
        EXPECT_NEAR(flags.splits[0].ratio, split.ratio, 1e-9);
        PriceSeries series = seriesAt(e.data / layout::codeName(code));
        ASSERT_EQ(adjustForSplits(after, code, series), 0);
        for (std::size_t i = 1; i < series.size(); ++i)
            if (series.rows[i].date == split.date) {
                const double step = double(series.rows[i].close) / series.rows[i - 1].close;
                EXPECT_GT(step, 0.85);
                EXPECT_LT(step, 1.15);
            }
    }
}

}  // namespace
}  // namespace quarlink
