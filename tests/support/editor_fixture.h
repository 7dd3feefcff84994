#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "core/editor/data_editor.h"
#include "support/fake_prompter.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/price_record.h"

namespace quarlink::testing {

// A chart folder in a fresh temporary directory.
class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("quarlink-editor-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "chart" / "data");
        app.chartFolder = (root_ / "chart").string();
        app.workDir = root_;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    void writeFile(const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string readFile(const std::filesystem::path& path) {
        std::string bytes;
        EXPECT_TRUE(readWholeFile(path, bytes)) << path;
        return bytes;
    }
    void writeIndex(const std::string& bytes) { writeFile(layout::indexFile(app), bytes); }
    std::string index() { return readFile(layout::indexFile(app)); }
    void writePrices(int code, const std::vector<PriceRecord>& records) {
        std::string bytes;
        for (const PriceRecord& r : records) {
            const RecordBytes b = encodeRecord(r);
            bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        writeFile(layout::dataFile(app, code), bytes);
    }

    // Opens an editor on the index and lists every registered code.
    DataEditor& openEditor(const std::string& indexBytes) {
        writeIndex(indexBytes);
        editor_ = std::make_unique<DataEditor>(app, 20061205);
        EXPECT_TRUE(editor_->open(prompter));
        return *editor_;
    }
    // Selects `code` as a click in the code list does.
    void select(int code) {
        DataEditor& e = *editor_;
        e.codeList.assign(1, code);
        e.selectCode(0);
    }

    Application app;
    test::FakePrompter prompter = test::FakePrompter::makeStrict();

private:
    std::filesystem::path root_;
    std::unique_ptr<DataEditor> editor_;
};

inline std::string msg(const std::string& text) { return "message: " + text; }

}  // namespace quarlink::testing
