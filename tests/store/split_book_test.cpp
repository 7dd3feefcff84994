#include <gtest/gtest.h>

#include "core/store/split_book.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

// A factor is the inverse of the ratio the chart program divides by, written "%g".
TEST(SplitBook, FactorsBecomeTokensInTheirPlaceAndOnce) {
    const struct {
        const char* flags;
        double factor;
        const char* after;
    } cases[] = {
        {"", 0.5, "S:20260105:2"},
        {"N225", 0.333333, "N225,S:20260105:3"},
        {"OBS,S:20250101:1.5", 10, "OBS,S:20250101:1.5,S:20260105:0.1"},
        {"S:20270101:2,X9", 0.25, "S:20260105:4,S:20270101:2,X9"},   // before a later one; other tokens stay
        {"A500,S:20260105:2.0", 0.5, "A500,S:20260105:2.0"},         // that date has one already
        {"N225", 1.0, "N225"},
        {"N225", 0, "N225"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        double ratio = 0;
        std::vector<Split> add;
        if (splitOfFactor(c.factor, ratio)) add.push_back({20260105, ratio});
        EXPECT_EQ(flagsWithSplits(c.flags, add), c.after);
    }
}

// Registered codes get their token in index.txt, the others wait in the
// working folder; a second commit writes nothing new.
TEST(SplitBook, CommitWritesIndexAndPendingOnce) {
    test::TempDir dir;
    Application app;
    app.workDir = dir / "work";
    app.chartFolder = (dir / "chart").string();
    std::filesystem::create_directories(app.workDir);
    std::filesystem::create_directories(dir / "chart");
    test::writeFile(dir / "chart" / "index.txt", "date=20260105\r\n7203,N,T1,100,N225\r\n");
    SplitBook book;
    book.addFactor(7203, 20260105, 0.5);
    book.addFactor(7203, 20260105, 0.5);
    book.addFactor(9999, 20260106, 10);
    std::vector<CodeSplit> recorded;
    ASSERT_TRUE(book.commit(app, &recorded, nullptr));
    EXPECT_EQ(recorded.size(), 2u);
    EXPECT_EQ(test::readFile(dir / "chart" / "index.txt"), "date=20260105\r\n7203,N,T1,100,N225,S:20260105:2\r\n");
    EXPECT_EQ(loadPendingSplits(app), (std::vector<CodeSplit>{{9999, {20260106, 0.1}}}));
    ASSERT_TRUE(book.commit(app, &recorded, nullptr));
    EXPECT_TRUE(recorded.empty());
}

}  // namespace
}  // namespace quarlink
