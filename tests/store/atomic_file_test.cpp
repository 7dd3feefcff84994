#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/store/atomic_file.h"
#include "support/temp_dir.h"

using namespace quarlink;
using quarlink::test::readFile;
using quarlink::test::TempDir;
using quarlink::test::writeFile;

namespace {

int entries(const std::filesystem::path& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

}  // namespace

TEST(AtomicFile, ReplacesAndKeepsPermissions) {
    TempDir dir;
    writeFile(dir / "f", "old");
    ::chmod((dir / "f").c_str(), 0640);
    std::string error;
    ASSERT_TRUE(replaceFileAtomically(dir / "f", "new content", &error)) << error;
    EXPECT_EQ(readFile(dir / "f"), "new content");
    struct stat st {};
    ::stat((dir / "f").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(dir.path()), 1);
}

TEST(AtomicFile, DiscardedWriterLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    writeFile(dir / "f", "old");
    {
        AtomicFileWriter w(dir / "f");
        ASSERT_TRUE(w.open());
        ASSERT_TRUE(w.write("half"));
    }
    EXPECT_EQ(readFile(dir / "f"), "old");
    EXPECT_EQ(entries(dir.path()), 1);
}

TEST(AtomicFile, FailuresReportAndTouchNothing) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(replaceFileAtomically(dir / "missing" / "f", "x", &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    std::filesystem::create_directory(dir / "adir");
    EXPECT_FALSE(replaceFileAtomically(dir / "adir", "x"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "adir"));
    EXPECT_FALSE(copyFileAtomically(dir / "nosource", dir / "target"));
    EXPECT_FALSE(std::filesystem::exists(dir / "target"));
    EXPECT_EQ(entries(dir.path()), 1);
}

TEST(AtomicFile, NothingIsCommittedAfterADiscard) {
    TempDir dir;
    writeFile(dir / "f", "old");
    AtomicFileWriter w(dir / "f");
    ASSERT_TRUE(w.open());
    EXPECT_TRUE(w.write("abc"));
    w.discard();
    EXPECT_FALSE(w.write("more"));
    EXPECT_FALSE(w.commit());
    EXPECT_EQ(readFile(dir / "f"), "old");
}

TEST(AtomicFile, CopyIsByteForByte) {
    TempDir dir;
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    writeFile(dir / "src", bytes);
    ASSERT_TRUE(copyFileAtomically(dir / "src", dir / "dst"));
    EXPECT_EQ(readFile(dir / "dst"), bytes);
}

TEST(AtomicFile, StaleTemporariesOfDeadWritersAreRemoved) {
    TempDir dir;
    writeFile(dir / ".0101.qltmp-999999999-0", "stale");  // no such process
    writeFile(dir / (".0102.qltmp-" + std::to_string(::getppid()) + "-0"), "live writer");
    writeFile(dir / "0101", "keep");
    writeFile(dir / ".hidden", "keep");
    EXPECT_EQ(removeStaleTemporaryFiles(dir.path()), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / ".0101.qltmp-999999999-0"));
    EXPECT_EQ(entries(dir.path()), 3);
    EXPECT_EQ(removeStaleTemporaryFiles(dir / "nonexistent"), 0);
}
