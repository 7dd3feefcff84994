#include <gtest/gtest.h>

#include "robustness/fault_harness.h"
#include "core/store/price_series.h"
#include "support/temp_dir.h"

using namespace quarlink::test;

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

FaultScenario optionsSave() {
    return {"options save",
            [](const std::filesystem::path& root) { writeFile(root / "work" / "Quarlink.conf", "/old/chart,1\r\n"); },
            {"--workdir", "{root}/work", "options", "--chart-folder", "/new/chart", "--launch-chart", "0"},
            {"work/Quarlink.conf"},
            {}};
}

}  // namespace

TEST(Kill, OptionsSaveLeavesOldOrNew) {
    const auto s = optionsSave();
    const auto clean = cleanRun(s);
    ASSERT_EQ(clean.result.exitCode, 0);
    ASSERT_NE(clean.before, clean.after);
    const auto failures = killAtEveryCall(s);
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

TEST(FullDisk, OptionsSaveKeepsTheOldFileAndReports) {
    const auto failures = fullDiskAtEveryCall(optionsSave());
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

namespace {

std::string priceImage(int rows) {
    quarlink::PriceSeries s;
    for (int i = 0; i < rows; ++i) s.append({20060101 + i, 1000 + i, 1010 + i, 990 + i, 1005 + i, 100 * i, 5, 7});
    return quarlink::serializePriceSeries(s);
}

FaultScenario editorSave() {
    FaultScenario s;
    s.name = "editor save";
    s.program = QUARLINK_FAULT_DRIVER_PATH;
    s.setup = [](const std::filesystem::path& root) {
        writeFile(root / "work" / "Quarlink.conf", (root / "chart").string() + ",0\r\n");
        writeFile(root / "chart" / "index.txt",
                  "date=20061205\r\n0101,N225,,1\r\n7203,\x83\x67\x83\x88\x83\x5e,T1,100,N225,S:20060101:2\r\n");
        writeFile(root / "chart" / "data" / "7203", priceImage(300));
    };
    s.args = {"editor-save", "{root}/work", "7203"};
    s.watched = {"chart/index.txt", "chart/data/7203"};
    return s;
}

}  // namespace

TEST(Kill, EditorSaveLeavesOldOrNew) {
    const auto s = editorSave();
    const auto clean = cleanRun(s);
    ASSERT_EQ(clean.result.exitCode, 0) << clean.result.err;
    ASSERT_NE(clean.before.at("chart/index.txt"), clean.after.at("chart/index.txt"));
    ASSERT_NE(clean.before.at("chart/data/7203"), clean.after.at("chart/data/7203"));
    const auto failures = killAtEveryCall(s);
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

TEST(FullDisk, EditorSaveKeepsOldFilesAndReports) {
    const auto failures = fullDiskAtEveryCall(editorSave());
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

namespace {

// Three chart files and a source folder that adds and overwrites days in each.
FaultScenario supplementMerge() {
    FaultScenario s;
    s.name = "supplement merge";
    s.setup = [](const std::filesystem::path& root) {
        writeFile(root / "work" / "Quarlink.conf", (root / "chart").string() + ",0\r\n");
        for (const char* code : {"1301", "1308", "7203"}) {
            quarlink::PriceSeries chart, source;
            for (int i = 0; i < 200; i += 2) chart.append({20060101 + i, 100, 110, 90, 105, 1000, 0, 0});
            for (int i = 0; i < 200; i += 3) source.append({20060101 + i, 200, 210, 190, 205, 2000, 5, 7});
            writeFile(root / "chart" / "data" / code, quarlink::serializePriceSeries(chart));
            writeFile(root / "source" / code, quarlink::serializePriceSeries(source));
        }
    };
    s.args = {"--workdir", "{root}/work", "supplement", "--folder", "{root}/source", "--overwrite"};
    s.watched = {"chart/data/1301", "chart/data/1308", "chart/data/7203"};
    return s;
}

}  // namespace

TEST(Kill, SupplementMergeLeavesOldOrNew) {
    const auto s = supplementMerge();
    const auto clean = cleanRun(s);
    ASSERT_EQ(clean.result.exitCode, 0) << clean.result.err;
    ASSERT_NE(clean.before, clean.after);
    const auto failures = killAtEveryCall(s);
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

TEST(FullDisk, SupplementMergeKeepsOldFilesAndReports) {
    const auto failures = fullDiskAtEveryCall(supplementMerge());
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

namespace {

// Two codes over three years: six year files, each missing or complete.
FaultScenario yearSplit() {
    FaultScenario s;
    s.name = "year split";
    s.setup = [](const std::filesystem::path& root) {
        writeFile(root / "work" / "Quarlink.conf", (root / "chart").string() + ",0\r\n");
        for (const char* code : {"1301", "7203"}) {
            quarlink::PriceSeries series;
            for (int year = 2004; year <= 2006; ++year)
                for (int day = 1; day <= 20; ++day) series.append({year * 10000 + 100 + day, 100, 110, 90, 105, 1000, 5, 7});
            writeFile(root / "chart" / "data" / code, quarlink::serializePriceSeries(series));
        }
    };
    s.args = {"--workdir", "{root}/work", "split", "--yes"};
    for (const char* year : {"2004", "2005", "2006"})
        for (const char* code : {"1301", "7203"}) s.watched.push_back(std::string("work/sep/") + year + "/" + code);
    return s;
}

}  // namespace

TEST(Kill, YearSplitLeavesEachYearFileMissingOrComplete) {
    const auto s = yearSplit();
    const auto clean = cleanRun(s);
    ASSERT_EQ(clean.result.exitCode, 0) << clean.result.err;
    ASSERT_NE(clean.before, clean.after);
    const auto failures = killAtEveryCall(s);
    EXPECT_TRUE(failures.empty()) << joined(failures);
}
