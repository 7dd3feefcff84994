#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include "core/store/price_file.h"
#include "support/temp_dir.h"

using namespace quarlink;
using quarlink::test::readFile;
using quarlink::test::TempDir;
using quarlink::test::writeFile;

namespace {

PriceRecord rec(std::int32_t date, std::int32_t close = 100) { return {date, close, close, close, close, 10, 1, 2}; }

std::string image(std::initializer_list<PriceRecord> rows) {
    PriceSeries s;
    for (const auto& r : rows) s.append(r);
    return serializePriceSeries(s);
}

std::vector<std::int32_t> dates(const PriceSeries& s) {
    std::vector<std::int32_t> out;
    for (const auto& r : s.rows) out.push_back(r.date);
    return out;
}

}  // namespace

TEST(PriceRecord, EncodesTheChartProgramsLayoutWithSellBeforeBuy) {
    const PriceRecord r{20061205, 1000, 1010, 990, 1005, 123000, 5000, 7000};
    const RecordBytes expected{0x15, 0x1C, 0x32, 0x01, 0xE8, 0x03, 0x00, 0x00, 0xF2, 0x03, 0x00,
                               0x00, 0xDE, 0x03, 0x00, 0x00, 0xED, 0x03, 0x00, 0x00, 0x78, 0xE0,
                               0x01, 0x00, 0x58, 0x1B, 0x00, 0x00, 0x88, 0x13, 0x00, 0x00};
    EXPECT_EQ(encodeRecord(r), expected);
    EXPECT_EQ(decodeRecord(expected.data()), r);
}

TEST(PriceRecord, BytesPastTheEndReadAsFF) {
    const RecordBytes bytes = encodeRecord(rec(20060101));
    EXPECT_EQ(decodeRecord(bytes.data(), 0).date, -1);
    const PriceRecord partial = decodeRecord(bytes.data(), 20);
    EXPECT_EQ(partial.date, 20060101);
    EXPECT_EQ(partial.volume, -1);
    const PriceRecord negative{-5, -1000, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decodeRecord(encodeRecord(negative).data()), negative);
}

TEST(PriceSeries, ParsingStopsAtDateMinusOneAndIgnoresAPartialTail) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::int32_t> dates;
    };
    const std::string two = image({rec(20060101), rec(20060102)});
    const Case cases[] = {
        {"empty", "", {}},
        {"whole records", two, {20060101, 20060102}},
        {"partial tail", two + std::string(17, '\x01'), {20060101, 20060102}},
        {"date -1 in the middle", image({rec(20060101), rec(-1), rec(20060103)}), {20060101}},
        {"shorter than a record", std::string(31, '\0'), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(dates(parsePriceSeries(c.bytes)), c.dates) << c.name;
}

TEST(PriceSeries, SortIsStableByDate) {
    PriceSeries s;
    for (auto [d, c] : {std::pair{3, 1}, {1, 2}, {3, 3}, {2, 4}, {1, 5}}) s.append(rec(d, c));
    sortByDate(s);
    std::vector<std::pair<int, int>> got;
    for (const auto& r : s.rows) got.emplace_back(r.date, r.close);
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{1, 2}, {1, 5}, {2, 4}, {3, 1}, {3, 3}}));
}

// The reference: the specified exchange sort over a table searched row by row.
PriceSeries referenceMerge(PriceSeries target, const PriceSeries& source, bool overwrite) {
    for (const auto& r : source.rows) {
        bool found = false;
        for (auto& t : target.rows)
            if (t.date == r.date) {
                if (overwrite) t = r;
                found = true;
                break;
            }
        if (!found) target.rows.push_back(r);
    }
    auto& rows = target.rows;
    for (std::size_t k = 0; k + 1 < rows.size(); ++k)
        for (std::size_t i = rows.size() - 1; i > k; --i)
            if (rows[i].date < rows[i - 1].date) std::swap(rows[i], rows[i - 1]);
    return target;
}

TEST(PriceSeries, MergeMatchesTheExchangeSortReference) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> target, source;
    };
    const Case cases[] = {
        {"disjoint, source older", {{5, 1}, {6, 1}}, {{1, 2}, {2, 2}}},
        {"overlap", {{1, 1}, {2, 1}, {3, 1}}, {{2, 9}, {4, 9}}},
        {"duplicate dates in source", {{1, 1}}, {{2, 7}, {2, 8}, {1, 9}}},
        {"duplicate dates in target", {{2, 1}, {2, 2}}, {{2, 3}}},
        {"out of order both", {{9, 1}, {3, 1}, {7, 1}}, {{8, 2}, {3, 2}, {1, 2}}},
        {"empty target", {}, {{3, 1}, {1, 1}}},
        {"empty source", {{3, 1}, {1, 1}}, {}},
    };
    for (const auto& c : cases) {
        for (bool overwrite : {false, true}) {
            PriceSeries target, source;
            for (auto [d, v] : c.target) target.append(rec(d, v));
            for (auto [d, v] : c.source) source.append(rec(d, v));
            const PriceSeries expected = referenceMerge(target, source, overwrite);
            mergeSeries(target, source, overwrite);
            EXPECT_EQ(target.rows, expected.rows) << c.name << " overwrite=" << overwrite;
        }
    }
}

TEST(PriceSeries, MergeMatchesReferenceOnRandomInput) {
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 400; ++round) {
        PriceSeries target, source;
        const int n = static_cast<int>(next() % 30), m = static_cast<int>(next() % 30);
        for (int i = 0; i < n; ++i) target.append(rec(static_cast<std::int32_t>(next() % 20), static_cast<std::int32_t>(next())));
        for (int i = 0; i < m; ++i) source.append(rec(static_cast<std::int32_t>(next() % 20), static_cast<std::int32_t>(next())));
        const bool overwrite = round % 2;
        if (round % 4 >= 2) {
            // Files in date order (one row per date) take the one-pass merge.
            std::sort(target.rows.begin(), target.rows.end(), [](auto& a, auto& b) { return a.date < b.date; });
            target.rows.erase(std::unique(target.rows.begin(), target.rows.end(),
                                          [](auto& a, auto& b) { return a.date == b.date; }),
                              target.rows.end());
            std::stable_sort(source.rows.begin(), source.rows.end(), [](auto& a, auto& b) { return a.date < b.date; });
        }
        const PriceSeries expected = referenceMerge(target, source, overwrite);
        mergeSeries(target, source, overwrite);
        ASSERT_EQ(target.rows, expected.rows) << "round " << round;
    }
}

TEST(PriceFile, ReadLastOfAnEmptyFileGivesMinusOneAndAppendsAtZero) {
    TempDir dir;
    const auto path = dir / "0101";
    writeFile(path, "");
    PriceRecord last;
    EXPECT_EQ(appendOrOverwrite(path, 20061205, rec(20061205), &last), StoreResult::Appended);
    EXPECT_EQ(last.date, -1);
    EXPECT_EQ(readFile(path), image({rec(20061205)}));
}

TEST(PriceFile, AppendOrOverwriteLengths) {
    struct Case {
        const char* name;
        std::string before;
        std::int32_t compareDate;
        StoreResult result;
        std::string after;
    };
    const PriceRecord fresh = rec(20061205, 555);
    const std::string one = image({rec(20061204)});
    const std::string sameDay = image({rec(20061204), rec(20061205)});
    const Case cases[] = {
        {"other date appends", one, 20061205, StoreResult::Appended, image({rec(20061204), fresh})},
        {"same date overwrites", sameDay, 20061205, StoreResult::Overwritten, image({rec(20061204), fresh})},
        {"partial tail is overwritten by the append", one + "\x01\x02\x03", 20061205, StoreResult::Appended,
         image({rec(20061204), fresh})},
        {"partial tail does not hide the last record", sameDay + "\x07", 20061205, StoreResult::Overwritten,
         image({rec(20061204), fresh}) + "\x07"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / "7203", c.before);
        EXPECT_EQ(appendOrOverwrite(dir / "7203", c.compareDate, fresh), c.result) << c.name;
        EXPECT_EQ(readFile(dir / "7203"), c.after) << c.name;
    }
    // Keeping the order, an earlier date writes nothing; without it, it appends.
    for (const bool keepOrder : {true, false}) {
        TempDir dir;
        writeFile(dir / "7203", sameDay);
        const PriceRecord older = rec(20061203, 9);
        EXPECT_EQ(appendOrOverwrite(dir / "7203", older.date, older, nullptr, keepOrder),
                  keepOrder ? StoreResult::Older : StoreResult::Appended);
        EXPECT_EQ(readFile(dir / "7203"), keepOrder ? sameDay : sameDay + image({older}));
    }
}

TEST(PriceFile, AppendOrOverwriteCreatesAMissingFileAndFailsInAMissingFolder) {
    TempDir dir;
    EXPECT_EQ(appendOrOverwrite(dir / "1301", 20061205, rec(20061205)), StoreResult::Appended);
    EXPECT_EQ(readFile(dir / "1301"), image({rec(20061205)}));
    EXPECT_EQ(appendOrOverwrite(dir / "missing" / "1301", 20061205, rec(20061205)), StoreResult::Failed);
}

TEST(PriceFile, SequentialReadsEndWithDateMinusOne) {
    TempDir dir;
    writeFile(dir / "f", image({rec(1), rec(2)}) + "xx");
    PriceFile f;
    ASSERT_TRUE(f.open(dir / "f", PriceFile::Mode::Read));
    EXPECT_EQ(f.readRecord().date, 1);
    EXPECT_EQ(f.readRecord().date, 2);
    EXPECT_EQ(f.readRecord().date, -1);
    EXPECT_EQ(f.readRecord().date, -1);
    EXPECT_EQ(f.readLastRecord().date, 2);
}

TEST(PriceFile, MergeFileKeepsEveryWholeRecordInDateOrder) {
    const PriceRecord damaged{-1, -1, -1, -1, -1, -1, -1, -1};
    const std::string target = image({rec(3, 1), rec(1, 1), damaged, rec(50), rec(51)}) + "xx";
    const std::string source = image({rec(2, 2), rec(3, 2), damaged});
    struct Case {
        bool overwrite;
        std::string expected;
    };
    // The damaged record goes last, where the chart program's stop at date
    // -1 hides no dated row; the source's own has no date to merge by.
    for (const Case& c : {Case{true, image({rec(1, 1), rec(2, 2), rec(3, 2), rec(50), rec(51), damaged})},
                          Case{false, image({rec(1, 1), rec(2, 2), rec(3, 1), rec(50), rec(51), damaged})}}) {
        TempDir dir;
        writeFile(dir / "target", target);
        writeFile(dir / "source", source);
        ASSERT_EQ(mergePriceFile(dir / "target", dir / "source", c.overwrite), MergeResult::Merged);
        EXPECT_EQ(readFile(dir / "target"), c.expected) << c.overwrite;
    }
}

TEST(PriceFile, AppendOrOverwriteNeverWritesThroughOtherNames) {
    TempDir dir;
    std::filesystem::create_directories(dir / "snap");
    const std::string old = image({rec(20061204)});
    writeFile(dir / "1301", old);
    std::filesystem::create_hard_link(dir / "1301", dir / "snap" / "1301");
    std::filesystem::create_symlink(dir / "outside", dir / "1302");
    ASSERT_EQ(::mkfifo((dir / "1303").c_str(), 0600), 0);
    std::filesystem::create_directories(dir / "1304");
    EXPECT_EQ(appendOrOverwrite(dir / "1301", 20061205, rec(20061205)), StoreResult::Appended);
    EXPECT_EQ(readFile(dir / "1301"), old + image({rec(20061205)}));
    EXPECT_EQ(readFile(dir / "snap" / "1301"), old);
    for (const char* odd : {"1302", "1303", "1304"})
        EXPECT_EQ(appendOrOverwrite(dir / odd, 20061205, rec(20061205)), StoreResult::Failed) << odd;
    EXPECT_FALSE(std::filesystem::exists(dir / "outside"));
}

TEST(PriceFile, MergeFileFailuresLeaveTheTargetUntouched) {
    TempDir dir;
    const std::string before = image({rec(1)});
    writeFile(dir / "target", before);
    EXPECT_EQ(mergePriceFile(dir / "target", dir / "nosource", false), MergeResult::SourceOpenFailed);
    EXPECT_EQ(mergePriceFile(dir / "notarget", dir / "target", false), MergeResult::TargetOpenFailed);
    EXPECT_FALSE(std::filesystem::exists(dir / "notarget"));
    EXPECT_EQ(readFile(dir / "target"), before);
}
