#include "core/portfolio/portfolio_list_model.h"

#include <unistd.h>

#include "portfolio_test_support.h"
#include "core/store/folder_layout.h"

namespace quarlink::test {
namespace {

class PortfolioListTest : public PortfolioFolder {
protected:
    PortfolioListModel model{app, prompter};
    std::string listFile() { return readFile(layout::portfolioListFile(app)); }
    void select(const std::string& number) {
        for (std::size_t i = 0; i < model.rows.size(); ++i)
            if (model.rows[i].number == number) model.selected = static_cast<int>(i);
    }
    void type(const std::string& name, const std::string& number, const std::string& manager) {
        model.name = name;
        model.number = number;
        model.manager = manager;
    }
};

TEST_F(PortfolioListTest, LoadShowsLinesReversedAndSaveReversesTheFileAgain) {
    writeFile(layout::portfolioListFile(app), "A,1,X\r\nB,2,Y\r\n");
    model.load();
    ASSERT_EQ(model.rows.size(), 2u);
    EXPECT_EQ(model.rows[0], (PortfolioEntry{"B", "2", "Y"}));
    EXPECT_EQ(model.rows[1], (PortfolioEntry{"A", "1", "X"}));
    ASSERT_TRUE(model.save());
    EXPECT_EQ(listFile(), "B,2,Y\r\nA,1,X\r\n");
}

TEST_F(PortfolioListTest, MissingFileGivesEmptyListAndCreatesUserFolder) {
    model.load();
    EXPECT_TRUE(model.rows.empty());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(std::filesystem::is_directory(layout::userFolder(app)));
}

TEST_F(PortfolioListTest, InputChecksInOrder) {
    struct Case {
        const char *name, *number, *manager, *message;
    };
    const Case cases[] = {
        {"", "", "", "ポートフォリオ名が入力されていません。"},
        {"N", "", "", "管理番号が入力されていません。"},
        {"N", "5", "", "管理者名が入力されていません。"},
    };
    for (const Case& c : cases) {
        prompter.messages.clear();
        type(c.name, c.number, c.manager);
        EXPECT_FALSE(model.add());
        EXPECT_FALSE(model.edit());
        ASSERT_EQ(prompter.messages.size(), 2u) << c.message;
        EXPECT_EQ(prompter.messages[0], c.message);
        EXPECT_EQ(prompter.messages[1], c.message);
    }
    EXPECT_TRUE(model.rows.empty());
    EXPECT_FALSE(std::filesystem::exists(layout::portfolioListFile(app)));
}

TEST_F(PortfolioListTest, DuplicateNumberRefusedButNumbersCompareAsText) {
    model.load();
    type("A", "1", "X");
    ASSERT_TRUE(model.add());
    EXPECT_TRUE(model.name.empty() && model.number.empty() && model.manager.empty());
    type("B", "01", "Y");
    ASSERT_TRUE(model.add());
    type("C", "1", "Z");
    EXPECT_FALSE(model.add());
    EXPECT_EQ(prompter.messages, std::vector<std::string>{"すでに使われている番号です。"});
    EXPECT_EQ(model.name, "C");  // boxes keep a refused entry
    EXPECT_EQ(listFile(), "B,01,Y\r\nA,1,X\r\n");
}

TEST_F(PortfolioListTest, EditKeepsTheNumber) {
    writeFile(layout::portfolioListFile(app), "A,1,X\r\nB,12,Y\r\n");
    model.load();
    select("12");
    type("Renamed", "13", "Q");
    EXPECT_FALSE(model.edit());
    EXPECT_EQ(prompter.messages.back(), "管理番号は変更できません。");
    EXPECT_EQ(model.rows[0], (PortfolioEntry{"B", "12", "Y"}));

    model.selected = -1;
    type("Renamed", "12", "Q");
    EXPECT_FALSE(model.edit());  // no selection counts as a different number
    EXPECT_EQ(prompter.messages.size(), 2u);

    select("12");
    ASSERT_TRUE(model.edit());
    EXPECT_EQ(model.rows[0], (PortfolioEntry{"Renamed", "12", "Q"}));
    EXPECT_EQ(model.name, "Renamed");
    EXPECT_EQ(listFile(), "Renamed,12,Q\r\nA,1,X\r\n");
}

TEST_F(PortfolioListTest, CommasAndLineEndsAreDroppedOnlyInTheFile) {
    model.load();
    type("A,B", "3", "M\nN");
    ASSERT_TRUE(model.add());
    EXPECT_EQ(model.rows[0].name, "A,B");
    EXPECT_EQ(listFile(), "AB,3,MN\r\n");
    PortfolioListModel reopened{app, prompter};
    reopened.load();
    EXPECT_EQ(reopened.rows[0], (PortfolioEntry{"AB", "3", "MN"}));
}

TEST_F(PortfolioListTest, DeleteAsksFirst) {
    writeFile(layout::portfolioListFile(app), "A,1,X\r\nB,2,Y\r\n");
    model.load();
    EXPECT_FALSE(model.remove());  // nothing selected: no question
    EXPECT_TRUE(prompter.questions.empty());
    select("1");
    prompter.answers = {Prompter::Answer::No};
    EXPECT_FALSE(model.remove());
    EXPECT_EQ(model.rows.size(), 2u);
    EXPECT_EQ(listFile(), "A,1,X\r\nB,2,Y\r\n");
    prompter.answers = {Prompter::Answer::Yes};
    EXPECT_TRUE(model.remove());
    EXPECT_EQ(prompter.questions.back(), "ポートフォリオを削除します。よろしいですか？");
    EXPECT_EQ(listFile(), "B,2,Y\r\n");
}

TEST_F(PortfolioListTest, OpenSetsThePrefixOnlyForAPlainNumber) {
    writeFile(layout::portfolioListFile(app), "A,12,X\r\nEvil,../../etc,Y\r\n");
    model.load();
    app.portfolioPrefix = "before";
    EXPECT_FALSE(model.open());
    EXPECT_EQ(app.portfolioPrefix, "before");
    select("12");
    ASSERT_TRUE(model.open());
    EXPECT_EQ(app.portfolioPrefix, "user/12");
    EXPECT_EQ(layout::buyFile(app, app.portfolioPrefix), app.workDir / "user" / "12_buy.csv");
    select("../../etc");
    EXPECT_FALSE(model.open());
    EXPECT_EQ(prompter.messages.back(), "ファイルオープンエラー");
    EXPECT_EQ(app.portfolioPrefix, "user/12");
}

TEST_F(PortfolioListTest, SortIsAscendingByteWiseAndReachesTheFileOnSave) {
    // "\x88\x9f" (亜) sorts after ASCII as unsigned bytes.
    writeFile(layout::portfolioListFile(app), "b,9,\x88\x9f\r\nA,10,z\r\nc,2,a\r\n");
    model.load();
    select("10");
    model.sort(PortfolioListModel::NumberColumn);
    EXPECT_EQ(model.rows[0].number, "10");
    EXPECT_EQ(model.rows[1].number, "2");
    EXPECT_EQ(model.rows[2].number, "9");
    EXPECT_EQ(model.selected, 0);  // the selection follows its row
    model.sort(PortfolioListModel::ManagerColumn);
    EXPECT_EQ(model.rows[2].manager, "\x88\x9f");
    EXPECT_EQ(model.rows[model.selected].number, "10");
    EXPECT_EQ(readFile(layout::portfolioListFile(app)), "b,9,\x88\x9f\r\nA,10,z\r\nc,2,a\r\n");
    ASSERT_TRUE(model.save());
    EXPECT_EQ(listFile(), "c,2,a\r\nA,10,z\r\nb,9,\x88\x9f\r\n");
}

TEST_F(PortfolioListTest, UnwritableListIsReportedAndTheRowStays) {
    model.load();
    std::filesystem::create_directories(layout::portfolioListFile(app));  // a folder in the file's place
    type("A", "1", "X");
    model.add();
    EXPECT_EQ(model.rows.size(), 1u);
    EXPECT_EQ(prompter.messages, std::vector<std::string>{"ファイルオープンエラー"});
}

}  // namespace
}  // namespace quarlink::test
