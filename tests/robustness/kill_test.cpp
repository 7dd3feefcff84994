#include <gtest/gtest.h>

#include "robustness/fault_harness.h"
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
