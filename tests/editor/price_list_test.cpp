#include <gtest/gtest.h>

#include "support/editor_fixture.h"
#include "core/editor/price_list.h"
#include "core/store/price_file.h"

namespace quarlink::testing {
namespace {

using PriceListTest = EditorFixture;

const std::vector<PriceRecord> kRecords = {
    {20061201, 100, 110, 90, 105, 12000, 3000, 4000},
    {20061204, 105, 120, 100, 118, 9000, 3100, 3900},
    {20061206, 118, 118, 101, 102, 15000, -1, 2147483647},
};

PriceList::Row row(const char* date, const char* close = "1") {
    return {date, "1", "1", "1", close, "1", "1", "1"};
}

std::vector<std::string> dates(const PriceList& list) {
    std::vector<std::string> out;
    for (const PriceList::Row& r : list.rows) out.push_back(r[0]);
    return out;
}

// The boxes as a user fills them after Load..
void fillBoxes(PriceList& list, std::int32_t date) {
    list.loaded = true;
    list.date = date;
    for (int i = 0; i < PriceList::kValueCount; ++i) list.values[i] = std::to_string(i + 1);
}

TEST_F(PriceListTest, LoadShowsNewestFirstAndSavesTheSameBytes) {
    writePrices(7203, kRecords);
    const std::string before = readFile(layout::dataFile(app, 7203));
    PriceList list;
    list.load(layout::dataFile(app, 7203));
    ASSERT_TRUE(list.loaded);
    EXPECT_EQ(dates(list), (std::vector<std::string>{"2006/12/06", "2006/12/04", "2006/12/01"}));
    EXPECT_EQ(list.rows[0], (PriceList::Row{"2006/12/06", "118", "118", "101", "102", "15000", "-1", "2147483647"}));
    EXPECT_TRUE(list.save(layout::dataFile(app, 7203), prompter));
    EXPECT_EQ(readFile(layout::dataFile(app, 7203)), before);
}

TEST_F(PriceListTest, UnreadableFileLeavesEmptyListThatIsNeverSaved) {
    PriceList list;
    list.rows.push_back(row("2006/12/01"));
    list.loaded = true;
    list.load(layout::dataFile(app, 1301));
    EXPECT_TRUE(list.rows.empty());
    EXPECT_FALSE(list.loaded);
}

TEST_F(PriceListTest, AddRowChecksEveryBoxInOrder) {
    for (int empty = 0; empty < PriceList::kValueCount; ++empty) {
        PriceList list;
        fillBoxes(list, 20061205);
        for (int i = empty; i < PriceList::kValueCount; ++i) list.values[i].clear();
        prompter.shown.clear();
        list.addRow(prompter);
        EXPECT_EQ(prompter.shown,
                  std::vector<std::string>{msg(std::string(PriceList::columnTitles()[empty + 1]) + "が選択されていません。")});
        EXPECT_TRUE(list.rows.empty());
    }
}

// Before Load.. an edit has no list to go to, and a number the record cannot
// hold is refused rather than cut to 2147483647.
TEST_F(PriceListTest, AddAndChangeRefuseWithoutLoadOrBeyondTheRecord) {
    const std::string tooBig = "は0から2147483647までの数で入力してください。";
    struct Case {
        bool loaded;
        int box;
        const char* value;
        std::string message;  // empty: accepted
    } cases[] = {
        {false, 0, "1", PriceList::kNotLoaded},
        {true, 0, "2147483648", std::string(PriceList::columnTitles()[1]) + tooBig},
        {true, 6, "99999999999", std::string(PriceList::columnTitles()[7]) + tooBig},
        {true, 4, "2147483647", ""},
    };
    for (const Case& c : cases) {
        PriceList list;
        list.rows = {row("2006/12/06")};
        fillBoxes(list, 20061207);
        list.loaded = c.loaded;
        list.values[c.box] = c.value;
        prompter.shown.clear();
        list.addRow(prompter);
        list.selectedRow = 0;
        list.changeRow(prompter);
        const std::vector<std::string> expected =
            c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{msg(c.message), msg(c.message)};
        EXPECT_EQ(prompter.shown, expected) << c.value;
        EXPECT_EQ(list.rows.size(), c.message.empty() ? 2u : 1u) << c.value;
        if (c.message.empty()) EXPECT_EQ(list.rows[0][c.box + 1], c.value);
    }
}

TEST_F(PriceListTest, AddRowGoesInDatePositionBelowEqualDates) {
    struct Case {
        std::vector<const char*> rows;
        std::int32_t date;
        std::size_t at;
    } cases[] = {
        {{}, 20061205, 0},
        {{"2006/12/06", "2006/12/04"}, 20061205, 1},
        {{"2006/12/06", "2006/12/05", "2006/12/04"}, 20061205, 2},
        {{"2006/12/06", "2006/12/04"}, 20061207, 0},
        {{"2006/12/06", "2006/12/04"}, 20061201, 2},
    };
    for (const Case& c : cases) {
        PriceList list;
        for (const char* d : c.rows) list.rows.push_back(row(d, "0"));
        fillBoxes(list, c.date);
        list.addRow(prompter);
        ASSERT_EQ(list.rows.size(), c.rows.size() + 1);
        EXPECT_EQ(list.rows[c.at], (PriceList::Row{PriceList::dateText(c.date), "1", "2", "3", "4", "5", "6", "7"}));
    }
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(PriceListTest, EqualDatesAreBothWritten) {
    writePrices(7203, {kRecords[1], kRecords[2]});
    PriceList list;
    list.load(layout::dataFile(app, 7203));
    fillBoxes(list, 20061205);
    list.addRow(prompter);
    list.values[3] = "999";
    list.addRow(prompter);
    ASSERT_TRUE(list.save(layout::dataFile(app, 7203), prompter));
    PriceSeries saved;
    ASSERT_TRUE(loadPriceFile(layout::dataFile(app, 7203), saved));
    ASSERT_EQ(saved.size(), 4u);
    EXPECT_EQ(saved[1].date, 20061205);
    EXPECT_EQ(saved[1].close, 999);  // the later one sits below, so is written first
    EXPECT_EQ(saved[2].date, 20061205);
    EXPECT_EQ(saved[2].close, 4);
}

TEST_F(PriceListTest, ChangedDateLeavesRowInPlace) {
    writePrices(7203, kRecords);
    PriceList list;
    list.load(layout::dataFile(app, 7203));
    list.selectedRow = 2;
    list.pickRow();
    EXPECT_EQ(list.date, 20061201);
    EXPECT_EQ(list.values[4], "12000");
    list.date = 20061231;
    list.changeRow(prompter);
    EXPECT_EQ(dates(list), (std::vector<std::string>{"2006/12/06", "2006/12/04", "2006/12/31"}));
    ASSERT_TRUE(list.save(layout::dataFile(app, 7203), prompter));
    PriceSeries saved;
    ASSERT_TRUE(loadPriceFile(layout::dataFile(app, 7203), saved));
    EXPECT_EQ(saved[0].date, 20061231);
    EXPECT_EQ(saved[0].volume, 12000);
}

TEST_F(PriceListTest, WithoutSelectionChangeAndDeleteDoNothing) {
    PriceList list;
    list.rows = {row("2006/12/06"), row("2006/12/04")};
    fillBoxes(list, 20070101);
    for (int selected : {-1, 2}) {
        list.selectedRow = selected;
        list.changeRow(prompter);
        list.deleteRow();
        EXPECT_EQ(dates(list), (std::vector<std::string>{"2006/12/06", "2006/12/04"}));
    }
}

TEST_F(PriceListTest, DeletingEveryRowWritesEmptyFile) {
    writePrices(7203, kRecords);
    PriceList list;
    list.load(layout::dataFile(app, 7203));
    while (!list.rows.empty()) {
        list.selectedRow = 0;
        list.deleteRow();
    }
    ASSERT_TRUE(list.save(layout::dataFile(app, 7203), prompter));
    EXPECT_EQ(std::filesystem::file_size(layout::dataFile(app, 7203)), 0u);
}

TEST_F(PriceListTest, MarginColumnsLandAtTheirBytes) {
    PriceList list;
    list.loaded = true;
    list.date = 20061205;
    list.values = {"1", "2", "3", "4", "5", "66", "77"};  // ..., 信用買残, 信用売残
    list.addRow(prompter);
    list.rows.push_back(row("2006/12/04"));
    list.rows.back()[5] = "99999999999";  // beyond 32 bits
    ASSERT_TRUE(list.save(layout::dataFile(app, 1301), prompter));
    const std::string bytes = readFile(layout::dataFile(app, 1301));
    ASSERT_EQ(bytes.size(), 64u);
    auto at = [&](std::size_t offset) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[offset + i]);
        return static_cast<std::int32_t>(v);
    };
    EXPECT_EQ(at(32 + 0), 20061205);
    EXPECT_EQ(at(32 + 28), 66);
    EXPECT_EQ(at(32 + 24), 77);
    EXPECT_EQ(at(0 + 20), 2147483647);
}

TEST_F(PriceListTest, FailedSaveKeepsOldFile) {
    writePrices(7203, kRecords);
    const std::string before = readFile(layout::dataFile(app, 7203));
    PriceList list;
    list.load(layout::dataFile(app, 7203));
    list.rows.clear();
    EXPECT_FALSE(list.save(layout::dataFolder(app) / "missing" / "7203", prompter));
    EXPECT_EQ(prompter.shown, std::vector<std::string>{msg("株価ファイルが開けません。ファイルが破損した恐れがあります。")});
    EXPECT_EQ(readFile(layout::dataFile(app, 7203)), before);
}

}  // namespace
}  // namespace quarlink::testing
