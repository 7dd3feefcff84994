#include <gtest/gtest.h>
#include <algorithm>
#include <sys/stat.h>

#include "store/atomic_file.h"
#include "store/batch_writer.h"
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

TEST(BatchWriter, ReplacesExistingAndNewFilesAndLeavesNoSpare) {
    TempDir dir;
    writeFile(dir / "0101", "old 0101");
    writeFile(dir / "1301", "old 1301");
    ::chmod((dir / "1301").c_str(), 0640);
    {
        BatchWriter batch;
        // More replaces than files, so spares are exchanged back and forth.
        for (int round = 0; round < 3; ++round) {
            for (const char* name : {"0101", "1301", "7203"})
                ASSERT_TRUE(batch.replace(dir / name, std::string(name) + " v" + std::to_string(round)));
        }
        EXPECT_TRUE(batch.flush());
    }
    EXPECT_EQ(readFile(dir / "0101"), "0101 v2");
    EXPECT_EQ(readFile(dir / "1301"), "1301 v2");
    EXPECT_EQ(readFile(dir / "7203"), "7203 v2");
    struct stat st {};
    ::stat((dir / "1301").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"0101", "1301", "7203"}));
}

TEST(BatchWriter, SomethingOtherThanAFileAtTheTargetFailsAndStays) {
    TempDir dir;
    std::filesystem::create_directories(dir / "1301" / "inside");
    writeFile(dir / "7203", "old");
    BatchWriter batch;
    ASSERT_TRUE(batch.replace(dir / "7203", "new"));  // leaves a spare behind
    std::string error;
    EXPECT_FALSE(batch.replace(dir / "1301", "bytes", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "1301" / "inside"));
    EXPECT_FALSE(batch.replace(dir / "missing" / "0101", "bytes"));
    EXPECT_FALSE(batch.copy(dir / "nosource", dir / "7203"));
    batch.flush();
    EXPECT_EQ(readFile(dir / "7203"), "new");
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"1301", "7203"}));
}

TEST(BatchWriter, DestructionRemovesSpares) {
    TempDir dir;
    writeFile(dir / "a", "1");
    writeFile(dir / "src", "copied");
    {
        BatchWriter batch;
        ASSERT_TRUE(batch.copy(dir / "src", dir / "b"));  // a new file takes the spare's place
        ASSERT_TRUE(batch.replace(dir / "a", "2"));       // the old content stays as the spare
        bool spare = false;
        for (const auto& n : names(dir.path())) spare = spare || isTemporaryFileName(n);
        EXPECT_TRUE(spare);
    }
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"a", "b", "src"}));
    EXPECT_EQ(readFile(dir / "b"), "copied");
}
