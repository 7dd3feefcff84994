#include "core/portfolio/portfolio_edit_model.h"

#include <unistd.h>

#include "portfolio_test_support.h"
#include "core/store/folder_layout.h"
#include "support/fake_clock.h"

namespace quarlink::test {
namespace {

class EditModelTest : public PortfolioFolder {
protected:
    void SetUp() override {
        PortfolioFolder::SetUp();
        writeIndex("1301,N,T1,1000\r\n7203,T,T1,100\r\n");
        writePrices("1301", {PriceRecord{20060111, 1000, 1100, 1000, 1050, 1, 0, 0}});
        app.portfolioPrefix = "user/12";
    }
    std::filesystem::path buy() { return app.workDir / "user" / "12_buy.csv"; }
    std::filesystem::path sell() { return app.workDir / "user" / "12_sell.csv"; }
    void enter(const std::string& code, const std::string& price, const std::string& units) {
        model.code = code;
        model.entryPrice = price;
        model.units = units;
    }

    FixedClock clock{LocalDateTime{2006, 1, 20, 9, 0, 0}};
    PortfolioEditModel model{app, prompter, clock};
};

TEST_F(EditModelTest, NewPortfolioOpensEmptyAndSaveCreatesBothFiles) {
    ASSERT_TRUE(model.open());
    EXPECT_TRUE(model.positions.empty() && model.trades.empty());
    EXPECT_EQ(model.entryDate, (CalendarDate{2006, 1, 20}));
    EXPECT_EQ(model.positionTotals.holdings, "0");
    ASSERT_TRUE(model.save());
    EXPECT_EQ(readFile(buy()), "");
    EXPECT_EQ(readFile(sell()), "");
}

TEST_F(EditModelTest, RefusesWithoutIndexOrWithABadPrefix) {
    std::filesystem::remove(root / "chart" / "index.txt");
    EXPECT_FALSE(model.open());
    EXPECT_EQ(prompter.messages.back(), "index.txtが開けません。終了します。");
    writeIndex("1301,N,T1,1000\r\n");
    app.portfolioPrefix = "user/../../x";
    EXPECT_FALSE(model.open());
    EXPECT_EQ(prompter.messages.back(), "ファイルオープンエラー");
}

TEST_F(EditModelTest, AddChecksAndFillsTheRow) {
    ASSERT_TRUE(model.open());
    struct Case {
        const char *code, *price, *units, *message;
    };
    const Case cases[] = {{"", "1", "1", "証券コードが入力されていません。"},
                          {"1301", "", "1", "額面が入力されていません。"},
                          {"1301", "1", "", "購入数が入力されていません。"}};
    for (const Case& c : cases) {
        enter(c.code, c.price, c.units);
        EXPECT_FALSE(model.addPosition());
        EXPECT_EQ(prompter.messages.back(), c.message);
    }
    EXPECT_TRUE(model.positions.empty());
    enter("1301", "1000", "100");
    model.kind = 2;
    model.entryDate = {2006, 1, 10};
    ASSERT_TRUE(model.addPosition());
    const PortfolioRow& r = model.positions[0];
    EXPECT_EQ(r[0], "2006/01/10");
    EXPECT_EQ(r[4], sj("信用売"));
    EXPECT_EQ(r[9], sj("現在まで"));
    EXPECT_EQ(r[8], "1050(105.00)");
    EXPECT_TRUE(model.code.empty() && model.units.empty());
    EXPECT_EQ(model.kind, 2);
    EXPECT_EQ(model.entryDate, (CalendarDate{2006, 1, 20}));
    EXPECT_EQ(model.positionTotals.currentValue, "105000");
}

TEST_F(EditModelTest, ClosePartLeavesTheRestOpen) {
    ASSERT_TRUE(model.open());
    enter("1301", "1000", "1000");
    ASSERT_TRUE(model.addPosition());
    model.selectedPosition = 0;
    model.pickPosition();
    EXPECT_EQ(model.units, "1000");
    model.exitPrice = "1100";
    model.closedUnits = "300";
    model.closeDate = {2006, 1, 19};
    ASSERT_TRUE(model.closePosition());
    ASSERT_EQ(model.positions.size(), 1u);
    EXPECT_EQ(model.positions[0][6], "700");
    ASSERT_EQ(model.trades.size(), 1u);
    const PortfolioRow& t = model.trades[0].columns;
    EXPECT_EQ(t[6], "300");
    EXPECT_EQ(t[8], "2006/01/19");
    EXPECT_EQ(t[11], "30000");  // unsettled: filled with the gross figure
    EXPECT_EQ(t[12], sj("未"));
    EXPECT_EQ(prompter.messages.back(), "差損益が自動挿入されました。 LINE:0");
    EXPECT_TRUE(model.exitPrice.empty() && model.closedUnits.empty() && !model.settled);
}

TEST_F(EditModelTest, CloseAllAsksAndNoKeepsThePosition) {
    ASSERT_TRUE(model.open());
    enter("1301", "1000", "1000");
    ASSERT_TRUE(model.addPosition());
    model.selectedPosition = 0;
    model.pickPosition();
    model.exitPrice = "900";
    model.closedUnits = "1000";
    model.netProfit = "-5000";
    model.settled = true;
    prompter.answers = {Prompter::Answer::No};
    ASSERT_TRUE(model.closePosition());
    EXPECT_EQ(prompter.questions, std::vector<std::string>{"仕掛けを削除します。よろしいですか？"});
    EXPECT_EQ(model.positions.size(), 1u);
    EXPECT_EQ(model.positions[0][6], "1000");
    EXPECT_EQ(model.trades[0].columns[11], "-5000");
    EXPECT_EQ(model.trades[0].columns[12], sj("済"));

    model.selectedPosition = 0;
    model.pickPosition();
    model.exitPrice = "900";
    model.closedUnits = "1000";
    prompter.answers = {Prompter::Answer::Yes};
    ASSERT_TRUE(model.closePosition());
    EXPECT_TRUE(model.positions.empty());
    EXPECT_EQ(model.trades.size(), 2u);
}

TEST_F(EditModelTest, CloseChecksUseTheirOwnTexts) {
    ASSERT_TRUE(model.open());
    EXPECT_FALSE(model.closePosition());
    EXPECT_EQ(prompter.messages.back(), "手仕舞い対象の仕掛けが選択されていません。");
    EXPECT_FALSE(model.editTrade());
    EXPECT_EQ(prompter.messages.back(), "対象が選択されていません。");
    enter("1301", "1000", "10");
    ASSERT_TRUE(model.addPosition());
    model.selectedPosition = 0;
    model.pickPosition();
    EXPECT_FALSE(model.closePosition());
    EXPECT_EQ(prompter.messages.back(), "仕掛け額面が入力されていません。");
    model.exitPrice = "1";
    EXPECT_FALSE(model.closePosition());
    EXPECT_EQ(prompter.messages.back(), "枚数が入力されていません。");
    EXPECT_TRUE(model.trades.empty());
}

TEST_F(EditModelTest, SavedUnsettledTradeIsRefilledOnlyAfterAnEdit) {
    writeFile(buy(), "");
    writeFile(sell(), "2006/01/10,1301,N,T1," + sj("現物買") + ",1000,300,0,2006/01/19,1100,0,-5000," + sj("未") +
                          "\r\n");
    ASSERT_TRUE(model.open());
    EXPECT_EQ(model.trades[0].columns[11], "-5000");
    EXPECT_TRUE(prompter.messages.empty());
    model.selectedTrade = 0;
    model.pickTrade();
    EXPECT_EQ(model.closedUnits, "300");
    EXPECT_EQ(model.closeDate, (CalendarDate{2006, 1, 19}));
    EXPECT_FALSE(model.settled);
    model.units = "999";  // needed by the checks, never stored
    ASSERT_TRUE(model.editTrade());
    EXPECT_EQ(model.trades[0].columns[6], "300");
    EXPECT_EQ(model.trades[0].columns[11], "30000");
    EXPECT_EQ(prompter.messages.size(), 1u);
}

TEST_F(EditModelTest, OpenAndSaveReversesAndTwiceRestores) {
    const std::string a = "2006/01/10,1301,N,T1,x,1000,1,1000,1050(105.00),5,1100(110.00),1000(100.00),2006/01/11,2006/01/11\r\n";
    const std::string b = "2006/01/11,1301,N,T1,y,1000,2,2000,1050(105.00),5,---,---,---,---\r\n";
    const std::string s1 = "2006/01/10,1301,N,T1,x,1,1,1,2006/01/11,1,1,0," + sj("済") + "\r\n";
    const std::string s2 = "2006/01/10,1301,N,T1,y,1,1,1,2006/01/11,1,1,7," + sj("済") + "\r\n";
    writeFile(buy(), a + b);
    writeFile(sell(), s1 + s2);
    for (int round = 1; round <= 2; ++round) {
        PortfolioEditModel m{app, prompter, clock};
        ASSERT_TRUE(m.open());
        ASSERT_TRUE(m.save());
        EXPECT_EQ(readFile(buy()), round == 1 ? b + a : a + b);
        EXPECT_EQ(readFile(sell()), round == 1 ? s2 + s1 : s1 + s2);
    }
}

TEST_F(EditModelTest, DeletesAskAndLeaveTotals) {
    ASSERT_TRUE(model.open());
    enter("1301", "1000", "10");
    ASSERT_TRUE(model.addPosition());
    model.selectedPosition = 0;
    prompter.answers = {Prompter::Answer::Yes};
    ASSERT_TRUE(model.deletePosition());
    EXPECT_TRUE(model.positions.empty());
    EXPECT_EQ(model.positionTotals.holdings, "1");
}

TEST_F(EditModelTest, UnwritablePositionFileWritesNeitherFile) {
    ASSERT_TRUE(model.open());
    std::filesystem::create_directories(buy());
    EXPECT_FALSE(model.save());
    EXPECT_EQ(prompter.messages.back(), "ファイルオープンエラー");
    EXPECT_FALSE(std::filesystem::exists(sell()));
}

}  // namespace
}  // namespace quarlink::test
