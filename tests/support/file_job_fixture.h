#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <unistd.h>

#include "core/jobs/job_outcome.h"
#include "core/store/application.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/price_series.h"

namespace quarlink::testing {

// A working folder and a chart folder under a fresh temporary folder.
class FileJobFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quarlink-jobs-XXXXXX";
        root = ::mkdtemp(pattern);
        app.workDir = root / "work";
        app.chartFolder = (root / "chart").string();
        std::filesystem::create_directories(app.workDir);
        std::filesystem::create_directories(layout::dataFolder(app));
    }
    void TearDown() override {
        std::error_code ec;
        // Undo any permission changes before removing.
        for (auto& e : std::filesystem::recursive_directory_iterator(root, ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root, ec);
    }

    static PriceRecord rec(int date, int close = 100) {
        return PriceRecord{date, close - 1, close + 5, close - 5, close, 1000 + close, 7, 9};
    }
    static PriceSeries series(std::initializer_list<PriceRecord> rows) {
        PriceSeries s;
        for (const auto& r : rows) s.append(r);
        return s;
    }
    static void writeFile(const std::filesystem::path& path, const std::string& bytes) {
        std::filesystem::create_directories(path.parent_path());
        ASSERT_TRUE(replaceFileAtomically(path, bytes));
    }
    static void writeSeries(const std::filesystem::path& path, const PriceSeries& s) {
        writeFile(path, serializePriceSeries(s));
    }
    static std::string readFile(const std::filesystem::path& path) {
        std::string bytes;
        EXPECT_TRUE(readWholeFile(path, bytes)) << path;
        return bytes;
    }

    // Runs start() and tick() until the job leaves Running; returns the last
    // outcome and collects every message.
    template <typename Job>
    JobOutcome runToEnd(Job& job, std::vector<std::string>* messages = nullptr) {
        JobOutcome o = job.start();
        while (o.state == JobState::Running) {
            o = job.tick();
            if (o.message && messages) messages->push_back(*o.message);
        }
        return o;
    }

    std::filesystem::path root;
    Application app;
};

}  // namespace quarlink::testing
