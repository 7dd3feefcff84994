#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "core/store/application.h"
#include "core/store/atomic_file.h"
#include "core/store/price_file.h"
#include "core/env/prompter.h"
#include "core/store/text_encoding.h"
#include "support/fake_prompter.h"

namespace quarlink::test {

// A working folder and a chart folder under a fresh temporary folder.
class PortfolioFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::temp_directory_path() /
               ("quarlink_portfolio_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "work");
        std::filesystem::create_directories(root / "chart" / "data");
        app.workDir = root / "work";
        app.chartFolder = (root / "chart").string();
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    void writeFile(const std::filesystem::path& path, const std::string& bytes) {
        std::filesystem::create_directories(path.parent_path());
        ASSERT_TRUE(replaceFileAtomically(path, bytes));
    }
    std::string readFile(const std::filesystem::path& path) {
        std::string bytes;
        EXPECT_TRUE(readWholeFile(path, bytes)) << path;
        return bytes;
    }
    // index.txt with the given code lines (UTF-8, stored as Shift-JIS).
    void writeIndex(const std::string& lines) {
        writeFile(root / "chart" / "index.txt", "date=20060120\r\n" + utf8ToCp932(lines));
    }
    void writePrices(const std::string& fileName, const std::vector<PriceRecord>& records) {
        PriceSeries s;
        s.rows = records;
        ASSERT_TRUE(writePriceFile(root / "chart" / "data" / fileName, s));
    }

    std::filesystem::path root;
    Application app;
    FakePrompter prompter;
};

inline std::string sj(const std::string& utf8) { return utf8ToCp932(utf8); }

}  // namespace quarlink::test
