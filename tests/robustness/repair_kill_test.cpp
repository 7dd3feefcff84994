// The data check's repair killed at each of its file-changing calls: every
// price file is left as it was or as repaired, and the next start tidies up.
#include <gtest/gtest.h>

#include "robustness/fault_harness.h"
#include "core/store/price_series.h"
#include "support/temp_dir.h"

using namespace quarlink::test;

namespace {

std::string damaged(int rows, int seed) {
    quarlink::PriceSeries s;
    for (int i = rows - 1; i >= 0; --i) s.append({20060104 + i, 100 + seed, 110 + seed, 90, 100, i, 5, 7});
    s.append(s[0]);  // a duplicate of the newest day
    return quarlink::serializePriceSeries(s) + "\x7f";
}

FaultScenario repair() {
    FaultScenario s;
    s.name = "check --repair";
    s.setup = [](const std::filesystem::path& root) {
        writeFile(root / "work" / "Quarlink.conf", (root / "chart").string() + ",0\r\n");
        writeFile(root / "chart" / "index.txt", "date=20060105\r\n1301,N,T1,100\r\n1302,N,T1,100\r\n1303,N,T1,100\r\n");
        for (int code : {1301, 1302, 1303})
            writeFile(root / "chart" / "data" / std::to_string(code), damaged(20, code));
    };
    s.args = {"--workdir", "{root}/work", "check", "--repair", "--yes"};
    s.watched = {"chart/data/1301", "chart/data/1302", "chart/data/1303"};
    return s;
}

}  // namespace

TEST(Kill, RepairLeavesEveryFileOldOrRepaired) {
    const auto s = repair();
    const auto clean = cleanRun(s);
    ASSERT_EQ(clean.result.exitCode, 0) << clean.result.out << clean.result.err;
    for (const auto& file : s.watched) ASSERT_NE(clean.before.at(file), clean.after.at(file)) << file;
    const auto failures = killAtEveryCall(s);
    std::string text;
    for (const auto& f : failures) text += f + "\n";
    EXPECT_TRUE(failures.empty()) << text;
}
