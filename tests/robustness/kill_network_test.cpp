// Kills and full disks during the jobs that fetch pages: the margin fill and
// the index update's apply, against a quarlink-pages on loopback.
#include <gtest/gtest.h>

#include <fstream>

#include "robustness/fault_harness.h"
#include "core/store/index_table.h"
#include "core/store/price_file.h"
#include "support/page_server.h"
#include "support/temp_dir.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

constexpr int kCodes[] = {1301, 1308, 1315};

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

class NetworkFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir;
        ASSERT_TRUE(generateMarket(market(), "--codes 6"));
        server_ = new PageServer(market());
        ASSERT_GT(server_->port(), 0);
    }
    static void TearDownTestSuite() {
        delete server_;
        delete root_;
    }
    static std::filesystem::path market() { return root_->path() / "market"; }

    // A working folder pointing at the server, and a chart folder.
    static void setupWork(const std::filesystem::path& root) {
        const std::string at = "127.0.0.1:" + std::to_string(server_->port());
        writeFile(root / "work" / "endpoints.conf",
                  "quote=" + at + "\nhistory=" + at + "\nstock=" + at + "\nindex=" + at + "\n");
        writeFile(root / "work" / "Quarlink.conf", (root / "chart").string() + ",0\r\n");
    }

    static inline TempDir* root_ = nullptr;
    static inline PageServer* server_ = nullptr;
};

FaultScenario marginFill(const std::filesystem::path& market, std::function<void(const std::filesystem::path&)> work) {
    FaultScenario s;
    s.name = "margin fill";
    s.setup = [market, work](const std::filesystem::path& root) {
        work(root);
        std::string index = "date=20061205\r\n";
        for (int code : kCodes) {
            index += std::to_string(code) + ",N,T1,100\r\n";
            // The market's file without its margin balances.
            PriceSeries series;
            loadPriceFile(market / "data" / std::to_string(code), series);
            for (auto& r : series.rows) r.marginBuy = r.marginSell = 0;
            writeFile(root / "chart" / "data" / std::to_string(code), serializePriceSeries(series));
        }
        writeFile(root / "chart" / "index.txt", index);
    };
    s.args = {"--workdir", "{root}/work", "margin-fill"};
    for (int code : kCodes) s.watched.push_back("chart/data/" + std::to_string(code));
    return s;
}

FaultScenario indexApply(const std::filesystem::path& market, std::function<void(const std::filesystem::path&)> work) {
    FaultScenario s;
    s.name = "index apply";
    s.setup = [market, work](const std::filesystem::path& root) {
        work(root);
        // An older index: one entry renamed, one missing, one the publisher no longer lists.
        IndexTable table;
        loadIndexTable(market / "index.txt", table);
        table.name[1301] = "old";
        table.clearEntry(1308);
        table.name[9999] = "gone";
        table.unit[9999] = "1";
        writeFile(root / "chart" / "index.txt", writeIndexTable(table, 20060101));
    };
    s.args = {"--workdir", "{root}/work", "index-update", "--remove-unregistered", "9999", "--apply", "--yes"};
    s.watched = {"chart/index.txt"};
    return s;
}

}  // namespace

// Codes listed in index.txt without a price file yet: the update creates them.
FaultScenario dailyUpdateOfNewCodes(std::function<void(const std::filesystem::path&)> work) {
    FaultScenario s;
    s.name = "daily update of new codes";
    s.setup = [work](const std::filesystem::path& root) {
        work(root);
        std::string index = "date=20061205\r\n";
        for (int code : kCodes) index += std::to_string(code) + ",N,T1,100\r\n";
        writeFile(root / "chart" / "index.txt", index);
        std::filesystem::create_directories(root / "chart" / "data");
    };
    s.args = {"--workdir", "{root}/work", "update"};
    for (int code : kCodes) s.watched.push_back("chart/data/" + std::to_string(code));
    return s;
}

TEST_F(NetworkFaults, NewPriceFilesKilledAtEveryWriteAreMissingOrWhole) {
    const auto s = dailyUpdateOfNewCodes(setupWork);
    const auto clean = cleanRun(s);
    ASSERT_EQ(clean.result.exitCode, 0) << clean.result.err;
    ASSERT_NE(clean.before, clean.after) << "the update must create the files";
    const auto failures = killAtEveryCall(s);
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

TEST_F(NetworkFaults, MarginFillKilledAtEveryWrite) {
    const auto s = marginFill(market(), setupWork);
    const auto clean = cleanRun(s);
    ASSERT_EQ(clean.result.exitCode, 0) << clean.result.err;
    ASSERT_NE(clean.before, clean.after) << "the margin fill must change the files";
    const auto failures = killAtEveryCall(s);
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

TEST_F(NetworkFaults, MarginFillOnAFullDisk) {
    const auto failures = fullDiskAtEveryCall(marginFill(market(), setupWork));
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

TEST_F(NetworkFaults, IndexApplyKilledAtEveryWrite) {
    const auto s = indexApply(market(), setupWork);
    const auto clean = cleanRun(s);
    ASSERT_EQ(clean.result.exitCode, 0) << clean.result.err;
    ASSERT_NE(clean.before, clean.after) << "the apply must change index.txt";
    const auto failures = killAtEveryCall(s);
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

TEST_F(NetworkFaults, IndexApplyOnAFullDisk) {
    const auto failures = fullDiskAtEveryCall(indexApply(market(), setupWork));
    EXPECT_TRUE(failures.empty()) << joined(failures);
}
