#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "gui/portfolio/portfolio_dialog.h"
#include "gui/portfolio/portfolio_edit_dialog.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/text_encoding.h"
#include "support/fake_prompter.h"
#include "support/fake_clock.h"
#include "support/scratch_chart.h"

namespace quarlink {
namespace {

class PortfolioDialogs : public ::testing::Test, public test::ScratchChart {
protected:
    void SetUp() override { writeIndex(utf8ToCp932("date=0\r\n1301,日本水産,T1,1000\r\n")); }

    template <typename T = QPushButton>
    static T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    test::FakePrompter prompter;
    FixedClock clock{LocalDateTime{2006, 12, 3, 9, 0, 0}};
};

TEST_F(PortfolioDialogs, ListDialogAddsReportsAndOpensTheBook) {
    PortfolioDialog dialog(app, nullptr, prompter, clock);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("ポートフォリオ管理"));
    auto* list = child<QTreeWidget>(dialog, "portfolioList");
    ASSERT_EQ(list->columnCount(), 3);
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("管理No"));
    for (const char* b : {"manage", "finish", "edit", "add", "remove", "report", "reportFolder"}) child(dialog, b);

    child<QLineEdit>(dialog, "name")->setText(QStringLiteral("日本株"));
    QTest::keyClicks(child<QLineEdit>(dialog, "number"), QStringLiteral("1x2"));  // digits only
    child<QLineEdit>(dialog, "manager")->setText(QStringLiteral("山田"));
    child(dialog, "add")->click();
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("12"));
    EXPECT_TRUE(child<QLineEdit>(dialog, "name")->text().isEmpty());
    std::string bytes;
    ASSERT_TRUE(readWholeFile(layout::portfolioListFile(app), bytes));
    EXPECT_EQ(bytes, utf8ToCp932("日本株,12,山田\r\n"));

    // A book without files stops the report run with its message.
    child(dialog, "report")->click();
    EXPECT_EQ(prompter.messages, std::vector<std::string>{"ポートフォリオ管理ファイルが開けません。"});

    // 管理 opens the edit dialog on user/12; close it as soon as it shows.
    list->setCurrentItem(list->topLevelItem(0));
    bool sawEditDialog = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* edit = qobject_cast<PortfolioEditDialog*>(w); edit && edit->isVisible()) {
                sawEditDialog = edit->opened();
                child(*edit, "save")->click();
            }
    });
    child(dialog, "manage")->click();
    EXPECT_TRUE(sawEditDialog);
    EXPECT_EQ(app.portfolioPrefix, "user/12");
    EXPECT_TRUE(std::filesystem::exists(app.workDir / "user" / "12_buy.csv"));
    prompter.messages.clear();
    child(dialog, "report")->click();
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(std::filesystem::exists(app.workDir / "html" / "p12_日本株(山田).html"));
}

TEST_F(PortfolioDialogs, EditDialogRecordsAndClosesPositions) {
    app.portfolioPrefix = "user/5";
    PortfolioEditDialog dialog(app, nullptr, prompter, clock);
    ASSERT_TRUE(dialog.opened());
    auto* positions = child<QTreeWidget>(dialog, "positions");
    auto* trades = child<QTreeWidget>(dialog, "trades");
    EXPECT_EQ(positions->columnCount(), 14);
    EXPECT_EQ(trades->columnCount(), 13);
    EXPECT_EQ(child<QLineEdit>(dialog, "holdings")->text(), QStringLiteral("0"));

    QTest::keyClicks(child<QLineEdit>(dialog, "code"), QStringLiteral("1301"));
    QTest::keyClicks(child<QLineEdit>(dialog, "entryPrice"), QStringLiteral("1000"));
    QTest::keyClicks(child<QLineEdit>(dialog, "units"), QStringLiteral("1000"));
    child(dialog, "addPosition")->click();
    ASSERT_EQ(positions->topLevelItemCount(), 1);
    EXPECT_EQ(positions->topLevelItem(0)->text(2), QStringLiteral("日本水産"));
    EXPECT_EQ(positions->topLevelItem(0)->text(0), QStringLiteral("2006/12/03"));
    EXPECT_EQ(child<QLineEdit>(dialog, "purchaseValue")->text(), QStringLiteral("1000000"));

    // Double-click picks the row into the fields; close 300 of it.
    positions->setCurrentItem(positions->topLevelItem(0));
    emit positions->itemDoubleClicked(positions->topLevelItem(0), 0);
    EXPECT_EQ(child<QLineEdit>(dialog, "units")->text(), QStringLiteral("1000"));
    QTest::keyClicks(child<QLineEdit>(dialog, "exitPrice"), QStringLiteral("1100"));
    QTest::keyClicks(child<QLineEdit>(dialog, "closedUnits"), QStringLiteral("300"));
    child(dialog, "closePosition")->click();
    EXPECT_EQ(positions->topLevelItem(0)->text(6), QStringLiteral("700"));
    ASSERT_EQ(trades->topLevelItemCount(), 1);
    EXPECT_EQ(trades->topLevelItem(0)->text(11), QStringLiteral("30000"));
    EXPECT_EQ(child<QLineEdit>(dialog, "profitTotal")->text(), QStringLiteral("30000"));
    EXPECT_EQ(prompter.messages.back(), "差損益が自動挿入されました。 LINE:0");

    child(dialog, "cancel")->click();
    EXPECT_FALSE(std::filesystem::exists(app.workDir / "user" / "5_buy.csv"));
}

// A message that names a row comes once the list shows that row; a 額面 the
// book cannot hold is refused, not cut to 2147483647.
TEST_F(PortfolioDialogs, RowMessagesFollowTheListAndOversizedNumbersAreRefused) {
    struct Watching final : Prompter {
        QTreeWidget* trades = nullptr;
        std::vector<std::pair<std::string, int>> seen;  // message, trade rows shown then
        void message(const std::string& text) override {
            seen.emplace_back(text, trades ? trades->topLevelItemCount() : -1);
        }
        bool askYesNo(const std::string&) override { return false; }
        Answer askYesNoCancel(const std::string&) override { return Answer::Cancel; }
    } watching;
    app.portfolioPrefix = "user/5";
    PortfolioEditDialog dialog(app, nullptr, watching, clock);
    ASSERT_TRUE(dialog.opened());
    auto* positions = child<QTreeWidget>(dialog, "positions");
    watching.trades = child<QTreeWidget>(dialog, "trades");

    QTest::keyClicks(child<QLineEdit>(dialog, "code"), QStringLiteral("1301"));
    QTest::keyClicks(child<QLineEdit>(dialog, "entryPrice"), QStringLiteral("3000000000"));
    QTest::keyClicks(child<QLineEdit>(dialog, "units"), QStringLiteral("10"));
    child(dialog, "addPosition")->click();
    EXPECT_EQ(positions->topLevelItemCount(), 0);
    ASSERT_EQ(watching.seen.size(), 1u);
    EXPECT_EQ(watching.seen[0].first, "額面は0から2147483647までの数で入力してください。");

    child<QLineEdit>(dialog, "entryPrice")->setText(QStringLiteral("2147483647"));
    child(dialog, "addPosition")->click();
    ASSERT_EQ(positions->topLevelItemCount(), 1);
    EXPECT_EQ(child<QLineEdit>(dialog, "purchaseValue")->text(), QStringLiteral("21474836470"));

    positions->setCurrentItem(positions->topLevelItem(0));
    emit positions->itemDoubleClicked(positions->topLevelItem(0), 0);
    QTest::keyClicks(child<QLineEdit>(dialog, "exitPrice"), QStringLiteral("1100"));
    QTest::keyClicks(child<QLineEdit>(dialog, "closedUnits"), QStringLiteral("3"));
    child(dialog, "closePosition")->click();
    ASSERT_EQ(watching.seen.size(), 2u);
    EXPECT_EQ(watching.seen[1], (std::pair<std::string, int>{"差損益が自動挿入されました。 LINE:0", 1}));
}

TEST_F(PortfolioDialogs, ListDialogRefusesCharactersShiftJisCannotHold) {
    PortfolioDialog dialog(app, nullptr, prompter, clock);
    child<QLineEdit>(dialog, "name")->setText(QStringLiteral("日本株\U0001F600"));
    child<QLineEdit>(dialog, "number")->setText(QStringLiteral("3"));
    child<QLineEdit>(dialog, "manager")->setText(QStringLiteral("山田"));
    child(dialog, "add")->click();
    EXPECT_EQ(prompter.messages,
              std::vector<std::string>{"ポートフォリオ名にShift-JISで表せない文字があります：\U0001F600"});
    EXPECT_EQ(child<QTreeWidget>(dialog, "portfolioList")->topLevelItemCount(), 0);
}

TEST_F(PortfolioDialogs, EditDialogClosesWithoutIndex) {
    std::filesystem::remove(layout::indexFile(app));
    app.portfolioPrefix = "user/5";
    PortfolioEditDialog dialog(app, nullptr, prompter, clock);
    EXPECT_FALSE(dialog.opened());
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(prompter.messages, std::vector<std::string>{"index.txtが開けません。終了します。"});
}

}  // namespace
}  // namespace quarlink
