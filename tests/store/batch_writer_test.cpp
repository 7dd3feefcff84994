#include <gtest/gtest.h>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include "core/store/atomic_file.h"
#include "core/store/batch_writer.h"
#include "support/temp_dir.h"

using namespace quarlink;
using quarlink::test::readFile;
using quarlink::test::TempDir;
using quarlink::test::writeFile;

namespace {

std::vector<std::string> names(const std::filesystem::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(BatchWriter, ReplacesFilesWithoutTouchingOtherNamesOfTheirOldContent) {
    TempDir dir;
    std::filesystem::create_directories(dir / "snap");
    writeFile(dir / "0101", "old 0101");
    writeFile(dir / "1301", "old 1301");
    writeFile(dir / "src", "copied");
    ::chmod((dir / "1301").c_str(), 0640);
    for (const char* name : {"0101", "1301"}) ASSERT_EQ(::link((dir / name).c_str(), (dir / "snap" / name).c_str()), 0);
    {
        BatchWriter batch;
        for (int round = 0; round < 3; ++round)
            for (const char* name : {"0101", "1301", "7203"})
                ASSERT_TRUE(batch.replace(dir / name, std::string(name) + " v" + std::to_string(round)));
        ASSERT_TRUE(batch.copy(dir / "src", dir / "0102"));
        // Nothing is published before the batch is on disk.
        EXPECT_EQ(readFile(dir / "0101"), "old 0101");
    }
    EXPECT_EQ(readFile(dir / "0101"), "0101 v2");
    EXPECT_EQ(readFile(dir / "1301"), "1301 v2");
    EXPECT_EQ(readFile(dir / "7203"), "7203 v2");
    EXPECT_EQ(readFile(dir / "0102"), "copied");
    EXPECT_EQ(readFile(dir / "snap" / "0101"), "old 0101");
    EXPECT_EQ(readFile(dir / "snap" / "1301"), "old 1301");
    struct stat st {};
    ::stat((dir / "1301").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"0101", "0102", "1301", "7203", "snap", "src"}));
}

TEST(BatchWriter, OddTargetsAndSourcesFailAndStay) {
    TempDir dir;
    std::filesystem::create_directories(dir / "1301" / "inside");
    writeFile(dir / "7203", "old");
    writeFile(dir / "big", "");
    ASSERT_EQ(::truncate((dir / "big").c_str(), kMaxPriceFileBytes + 32), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero");
    std::filesystem::create_symlink(dir / "7203", dir / "link");
    BatchWriter batch;
    std::string error;
    EXPECT_FALSE(batch.replace(dir / "1301", "bytes", &error));
    EXPECT_NE(error.find(file_text::kNotRegular), std::string::npos) << error;
    EXPECT_FALSE(batch.replace(dir / "link", "bytes"));
    EXPECT_FALSE(batch.replace(dir / "missing" / "0101", "bytes"));
    for (const char* source : {"nosource", "big", "fifo", "zero", "link", "1301"})
        EXPECT_FALSE(batch.copy(dir / source, dir / "7203")) << source;
    EXPECT_TRUE(batch.flush());
    EXPECT_EQ(readFile(dir / "7203"), "old");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "1301" / "inside"));
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"1301", "7203", "big", "fifo", "link", "zero"}));
}
