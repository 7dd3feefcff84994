#include <gtest/gtest.h>

#include "core/store/index_flags.h"
#include "core/store/index_table.h"
#include "support/temp_dir.h"

using namespace quarlink;

namespace {

// CP932 names, including NEC row 13 (0x87 0x40 "①") which does not survive
// a round trip through Unicode with every converter.
const std::string kToyota = "\x83\x67\x83\x88\x83\x5e";
const std::string kNec13 = "\x87\x40\x87\x41";

}  // namespace

TEST(IndexTable, ReadsHeaderAndFields) {
    IndexTable t;
    readIndexTable("date=20061205\r\n1301," + kToyota + ",T1,1000\r\n7203,N,T1,100,N225,A500,S:20060101:2\r\n", t);
    EXPECT_EQ(t.date, 20061205);
    EXPECT_EQ(t.name[1301], kToyota);
    EXPECT_EQ(t.market[1301], "T1");
    EXPECT_EQ(t.unit[1301], "1000");
    EXPECT_EQ(t.flags[1301], "");
    EXPECT_EQ(t.flags[7203], "N225,A500,S:20060101:2");
}

TEST(IndexTable, LineShapes) {
    struct Case {
        const char* name;
        std::string line;
        int code;
        std::string nameField, market, unit, flags;
    };
    const Case cases[] = {
        {"LF only", "1301,A,T1,1000\n", 1301, "A", "T1", "1000", ""},
        {"no line end on the last line", "1301,A,T1,1000", 1301, "A", "T1", "1000", ""},
        {"missing fields", "1301,A\r\n", 1301, "A", "", "", ""},
        {"empty market", "0101,N225,,1\r\n", 101, "N225", "", "1", ""},
        {"flags keep commas", "7203,N,T1,100,OBS,X,S:1:2\r\n", 7203, "N", "T1", "100", "OBS,X,S:1:2"},
        {"stray CR inside", "1301,A\r,T1,1000\r\n", 1301, "A", "T1", "1000", ""},
    };
    for (const auto& c : cases) {
        IndexTable t;
        readIndexTable("date=20061205\r\n" + c.line, t);
        EXPECT_EQ(t.name[c.code], c.nameField) << c.name;
        EXPECT_EQ(t.market[c.code], c.market) << c.name;
        EXPECT_EQ(t.unit[c.code], c.unit) << c.name;
        EXPECT_EQ(t.flags[c.code], c.flags) << c.name;
    }
}

TEST(IndexTable, IgnoresCodesOutsideTheTable) {
    IndexTable t;
    readIndexTable("date=20061205\r\n10000,Big\r\n-1,Neg\r\nabcd,Letters\r\n,Empty\r\n99999999999,Huge\r\n12a4,Mixed\r\n", t);
    for (int code = 0; code < kCodeCount; ++code) EXPECT_FALSE(t.isRegistered(code)) << code;
}

TEST(IndexTable, ALongLineIsOneEntry) {
    IndexTable t;
    const std::string longFlags = "N225" + std::string(2000, 'x');
    readIndexTable("date=20061205\r\n1301,A,T1,1000," + longFlags + "\r\n1332,B,T1,1000\r\n", t);
    EXPECT_EQ(t.flags[1301], longFlags);
    EXPECT_EQ(t.name[1332], "B");
    int registered = 0;
    for (int code = 0; code < kCodeCount; ++code) registered += t.isRegistered(code);
    EXPECT_EQ(registered, 2);
}

TEST(IndexTable, HeaderDateVariants) {
    const std::pair<std::string, int> cases[] = {
        {"date=20061205\r\n", 20061205}, {"date=00000000\r\n", 0}, {"date=2006\r\n", 2006},
        {"date=\r\n", 0},                {"x", 0},                 {"code=20061205999", 20061205},
    };
    for (const auto& [text, date] : cases) {
        IndexTable t;
        t.date = 77;
        readIndexTable(text, t);
        EXPECT_EQ(t.date, date) << text;
    }
    IndexTable untouched;
    untouched.date = 77;
    readIndexTable("", untouched);
    EXPECT_EQ(untouched.date, 77);
}

TEST(IndexTable, WritesRegisteredCodesInOrderWithCrLf) {
    IndexTable t;
    t.name[7203] = kToyota;
    t.market[7203] = "T1";
    t.unit[7203] = "100";
    t.flags[7203] = "N225";
    t.name[101] = "N225";
    t.unit[101] = "1";
    t.market[5000] = "T1";  // no name: not written
    t.name[1301] = "A\r\n";
    t.market[1301] = "T1";
    t.unit[1301] = "1000";
    EXPECT_EQ(writeIndexTable(t, 0),
              "date=00000000\r\n0101,N225,,1\r\n1301,A,T1,1000\r\n7203," + kToyota + ",T1,100,N225\r\n");
}

TEST(IndexTable, ReadWriteRoundTripKeepsEveryByte) {
    const std::string file = "date=20061205\r\n0101,N225,,1\r\n1301," + kNec13 + ",T1,1000\r\n7203," + kToyota +
                             ",T1,100,N225,A500,S:20060101:2,FOO\r\n";
    IndexTable t;
    readIndexTable(file, t);
    EXPECT_EQ(writeIndexTable(t, 20061205), file);
}

TEST(IndexTable, LaterLineWins) {
    IndexTable t;
    readIndexTable("date=1\n1301,A,T1,1000,N225\n1301,B\n", t);
    EXPECT_EQ(t.name[1301], "B");
    EXPECT_EQ(t.flags[1301], "");
}

TEST(CodeList, FirstFourCharactersGiveTheCode) {
    struct Case {
        const char* name;
        std::string text;
        int result;
        std::vector<int> codes;
    };
    const Case cases[] = {
        {"plain", "date=20061205\r\n0101,N\r\n1301,A\r\n", 1, {101, 1301}},
        {"header only", "date=20061205\r\n", 1, {}},
        {"code= header rejected", "code=\r\n0101,N\r\n", -1, {}},
        {"short lines", "date=1\n13\n1,A\n\n", 1, {1300, 1000, 0}},
        {"never past the fourth character", "date=1\n12345,A\n", 1, {1234}},
        {"empty", "", 1, {}},
    };
    for (const auto& c : cases) {
        std::vector<int> codes{42};
        EXPECT_EQ(readCodeList(c.text, codes), c.result) << c.name;
        EXPECT_EQ(codes, c.codes) << c.name;
    }
}

TEST(CodeList, MissingFileGivesZeroAndAnEmptyList) {
    test::TempDir dir;
    std::vector<int> codes{1};
    EXPECT_EQ(loadCodeList(dir / "index.txt", codes), 0);
    EXPECT_TRUE(codes.empty());
}

TEST(Flags, ParseMarksAndSplits) {
    struct Case {
        const char* text;
        bool n225, obs, a500;
        std::vector<Split> splits;
    };
    const Case cases[] = {
        {"N225,A500,S:20060101:2", true, false, true, {{20060101, 2.0}}},
        {"", false, false, false, {}},
        {"OBS,S:20060101:2,S:20050401:1.5", false, true, false, {{20060101, 2.0}, {20050401, 1.5}}},
        {"XN225Y", true, false, false, {}},  // marks are substrings anywhere
        {"S:2006", false, false, false, {{2006, 0.0}}},
        {"S", false, false, false, {{0, 0.0}}},
        {"S:20060101:abc,S:20060101:", false, false, false, {{20060101, 0.0}, {20060101, 0.0}}},
    };
    for (const auto& c : cases) {
        const IndexFlags f = parseFlags(c.text);
        EXPECT_EQ(f.n225, c.n225) << c.text;
        EXPECT_EQ(f.obs, c.obs) << c.text;
        EXPECT_EQ(f.a500, c.a500) << c.text;
        EXPECT_EQ(f.splits, c.splits) << c.text;
    }
}

TEST(Flags, ComposeInCanonicalOrder) {
    EXPECT_EQ(composeFlags(true, true, false, {{20060101, 2}, {20050401, 1.5}}), "N225,OBS,S:20060101:2,S:20050401:1.5");
    EXPECT_EQ(composeFlags(false, false, false, {}), "");
    EXPECT_EQ(composeFlags(false, false, true, {}), "A500");
    EXPECT_EQ(composeFlags(false, false, false, {{20060101, 1.23456789}}), "S:20060101:1.23457");
    EXPECT_EQ(composeFlags(true, true, true, {{20060101, 1000000}}), "N225,OBS,A500,S:20060101:1e+06");
}

TEST(SplitAdjustment, DividesEarlierPricesByEachSplitInTurn) {
    struct Case {
        const char* name;
        std::string flags;
        std::int32_t date, open;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"before the split", "S:20060101:2", 20051230, 1001, 500},
        {"on the split date", "S:20060101:2", 20060101, 1001, 1001},
        {"after", "S:20060101:2", 20060102, 1001, 1001},
        {"two splits truncate after each", "S:20060101:2,S:20060601:3", 20051230, 1000, 166},
        {"only the later split", "S:20060101:2,S:20060601:3", 20060301, 1000, 333},
        {"fractional ratio", "S:20060101:1.5", 20051230, 1000, 666},
        {"ratio 0 skipped", "S:20060101:0", 20051230, 1000, 1000},
        {"ratio not a number skipped", "S:20060101:x,S:20060101:nan,S:20060101:inf", 20051230, 1000, 1000},
        {"negative price truncates toward zero", "S:20060101:2", 20051230, -1001, -500},
        {"tiny ratio stays in range", "S:20060101:0.0000001", 20051230, 2000000000, 2147483647},
    };
    for (const auto& c : cases) {
        IndexTable t;
        t.name[7203] = "T";
        t.flags[7203] = c.flags;
        PriceSeries s;
        s.append({c.date, c.open, c.open, c.open, c.open, 777, 5, 6});
        EXPECT_EQ(adjustForSplits(t, 7203, s), 0) << c.name;
        EXPECT_EQ(s[0].open, c.expected) << c.name;
        EXPECT_EQ(s[0].close, c.expected) << c.name;
        EXPECT_EQ(s[0].volume, 777) << c.name;
        EXPECT_EQ(s[0].marginBuy, 5) << c.name;
    }
}

TEST(SplitAdjustment, ResultCodes) {
    IndexTable t;
    t.name[1301] = "A";
    PriceSeries s;
    s.append({20000101, 100, 100, 100, 100, 0, 0, 0});
    EXPECT_EQ(adjustForSplits(t, 10000, s), -2);
    EXPECT_EQ(adjustForSplits(t, -1, s), -2);
    EXPECT_EQ(adjustForSplits(t, 1301, s), -1);
    EXPECT_EQ(s[0].open, 100);
}

TEST(Markets, SelectorIndexOfWholeCodes) {
    EXPECT_EQ(marketIndex("T1"), 0);
    EXPECT_EQ(marketIndex("J"), 6);
    EXPECT_EQ(marketIndex("T"), -1);
    EXPECT_EQ(marketIndex(""), -1);
}
