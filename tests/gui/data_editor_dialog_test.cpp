#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "gui/editor/data_editor_dialog.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/price_file.h"
#include "support/fake_prompter.h"
#include "support/scratch_chart.h"

namespace quarlink::testing {
namespace {

using Answer = Prompter::Answer;

const std::string kToyota = "\x83\x67\x83\x88\x83\x5e";  // トヨタ in Shift-JIS

class DataEditorDialogTest : public ::testing::Test, public test::ScratchChart {
protected:
    void writeIndex() { ScratchChart::writeIndex("date=20061205\r\n1332,X,T2,1000\r\n7203," + kToyota + ",T1,100,N225\r\n"); }
    template <typename T>
    static T* child(QWidget& w, const char* name) {
        T* found = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void click(QWidget& w, const char* name) { QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton); }

    test::FakePrompter prompter = test::FakePrompter::makeStrict();
};

TEST_F(DataEditorDialogTest, ControlsAndTexts) {
    writeIndex();
    DataEditorDialog dialog(app, nullptr, &prompter);
    EXPECT_TRUE(dialog.isOpen());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("銘柄データ編集"));
    const std::pair<const char*, const char*> buttons[] = {
        {"searchButton", "検索"}, {"addEntry", "index追加"}, {"changeEntry", "index編集"}, {"deleteEntry", "index削除"},
        {"addSplit", "分割追加"}, {"changeSplit", "分割編集"}, {"deleteSplit", "分割削除"}, {"loadPrices", "Load.."},
        {"addRow", "株価追加"}, {"changeRow", "株価編集"}, {"deleteRow", "株価削除"}, {"save", "保存"},
        {"saveAndClose", "保存終了"}, {"cancel", "キャンセル"},
    };
    for (const auto& [name, text] : buttons)
        if (auto* b = child<QPushButton>(dialog, name)) { EXPECT_EQ(b->text(), QString::fromUtf8(text)) << name; }
    EXPECT_TRUE(child<QPushButton>(dialog, "save")->isDefault());
    EXPECT_EQ(child<QCheckBox>(dialog, "a500")->text(), QStringLiteral("売買代金上位５００銘柄"));

    auto* filter = child<QComboBox>(dialog, "filter");
    ASSERT_EQ(filter->count(), 16);
    EXPECT_EQ(filter->currentText(), QStringLiteral("フィルター"));
    EXPECT_EQ(filter->itemText(15), QStringLiteral("売買上位500"));
    auto* market = child<QComboBox>(dialog, "market");
    EXPECT_EQ(market->count(), 7);
    EXPECT_EQ(market->currentIndex(), -1);
    EXPECT_EQ(market->itemText(6), QStringLiteral("ジャスダック"));

    auto* prices = child<QTreeWidget>(dialog, "priceList");
    ASSERT_EQ(prices->columnCount(), 8);
    EXPECT_EQ(prices->headerItem()->text(0), QStringLiteral("日付"));
    EXPECT_EQ(prices->headerItem()->text(7), QStringLiteral("信用売残"));
    EXPECT_EQ(prices->columnWidth(6), 70);
    EXPECT_TRUE(child<QLineEdit>(dialog, "status")->text().startsWith(QStringLiteral("index.txtと株価データを直接編集できます。")));

    auto* unit = child<QLineEdit>(dialog, "unit");
    QTest::keyClicks(unit, QStringLiteral("1a,2"));
    EXPECT_EQ(unit->text(), QStringLiteral("12"));
}

TEST_F(DataEditorDialogTest, ShowsJapaneseNamesAndStatusLine) {
    writeIndex();
    DataEditorDialog dialog(app, nullptr, &prompter);
    child<QComboBox>(dialog, "filter")->setCurrentIndex(2);  // index.txtデータ
    auto* codes = child<QListWidget>(dialog, "codeList");
    ASSERT_EQ(codes->count(), 2);
    EXPECT_EQ(child<QLineEdit>(dialog, "count")->text(), QStringLiteral("対象数:2"));
    codes->setCurrentRow(1);
    EXPECT_EQ(child<QLineEdit>(dialog, "code")->text(), QStringLiteral("7203"));
    EXPECT_EQ(child<QLineEdit>(dialog, "name")->text(), QStringLiteral("トヨタ"));
    EXPECT_EQ(child<QComboBox>(dialog, "market")->currentText(), QStringLiteral("東証１部"));
    EXPECT_TRUE(child<QCheckBox>(dialog, "n225")->isChecked());
    EXPECT_EQ(child<QLineEdit>(dialog, "status")->text(), QStringLiteral("7203,トヨタ,T1,100,N225"));

    auto* search = child<QLineEdit>(dialog, "search");
    search->setText(QStringLiteral("ヨタ"));
    click(dialog, "searchButton");
    ASSERT_EQ(codes->count(), 1);
    EXPECT_EQ(codes->item(0)->text(), QStringLiteral("7203"));
}

TEST_F(DataEditorDialogTest, LoadEditAndSaveRoundTrip) {
    writeIndex();
    ASSERT_TRUE(writePriceFile(layout::dataFile(app, 7203),
                               PriceSeries{{{20061204, 10, 12, 9, 11, 500, 1, 2}, {20061205, 11, 13, 10, 12, 600, 3, 4}}}));
    DataEditorDialog dialog(app, nullptr, &prompter);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    child<QComboBox>(dialog, "filter")->setCurrentIndex(1);  // すべてのデータ
    child<QListWidget>(dialog, "codeList")->setCurrentRow(0);
    // "CSV出力" writes the selected code's file as it stands.
    const auto csvPath = root / "7203.csv";
    ASSERT_TRUE(dialog.exportCsv(QString::fromStdString(csvPath.string())));
    EXPECT_TRUE(child<QLineEdit>(dialog, "status")->text().contains(QString::fromStdString(csvPath.string())));
    std::string csv;
    ASSERT_TRUE(readWholeFile(csvPath, csv));
    EXPECT_EQ(csv, "date,open,high,low,close,volume,margin_sell,margin_buy\n2006-12-04,10,12,9,11,500,2,1\n"
                   "2006-12-05,11,13,10,12,600,4,3\n");
    // Rows edited before Load.. would have no list to be saved with.
    for (const char* name : {"addRow", "changeRow", "deleteRow"})
        EXPECT_FALSE(child<QPushButton>(dialog, name)->isEnabled()) << name;
    click(dialog, "loadPrices");
    for (const char* name : {"addRow", "changeRow", "deleteRow"})
        EXPECT_TRUE(child<QPushButton>(dialog, name)->isEnabled()) << name;
    auto* prices = child<QTreeWidget>(dialog, "priceList");
    ASSERT_EQ(prices->topLevelItemCount(), 2);
    EXPECT_EQ(prices->topLevelItem(0)->text(0), QStringLiteral("2006/12/05"));

    const QRect top = prices->visualItemRect(prices->topLevelItem(0));
    QTest::mouseClick(prices->viewport(), Qt::LeftButton, {}, top.center());
    EXPECT_EQ(child<QDateEdit>(dialog, "priceDate")->date(), QDate(2006, 12, 5));
    auto* close = child<QLineEdit>(dialog, "value4");
    EXPECT_EQ(close->text(), QStringLiteral("12"));
    close->setText(QStringLiteral("15"));
    click(dialog, "changeRow");
    EXPECT_EQ(prices->topLevelItem(0)->text(4), QStringLiteral("15"));

    // A character Shift-JIS cannot hold is refused by name, not stored as "?".
    child<QLineEdit>(dialog, "name")->setText(QStringLiteral("トヨタ\U0001F600"));
    click(dialog, "changeEntry");
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back(), "message: 銘柄名にShift-JISで表せない文字があります：\U0001F600");
    child<QLineEdit>(dialog, "name")->setText(QStringLiteral("トヨタ自動車"));
    click(dialog, "changeEntry");
    prompter.answers = {Answer::Yes, Answer::Yes};
    click(dialog, "saveAndClose");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.answers.empty());

    std::string index;
    ASSERT_TRUE(readWholeFile(layout::indexFile(app), index));
    EXPECT_EQ(index, "date=00000000\r\n1332,X,T2,1000\r\n7203," + kToyota + "\x8e\xa9\x93\xae\x8e\xd4,T1,100,N225\r\n");
    PriceSeries saved;
    ASSERT_TRUE(loadPriceFile(layout::dataFile(app, 7203), saved));
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[1], (PriceRecord{20061205, 11, 13, 10, 15, 600, 3, 4}));
    EXPECT_EQ(saved[0], (PriceRecord{20061204, 10, 12, 9, 11, 500, 1, 2}));
}

TEST_F(DataEditorDialogTest, MissingIndexClosesTheDialog) {
    DataEditorDialog dialog(app, nullptr, &prompter);
    EXPECT_FALSE(dialog.isOpen());
    ASSERT_EQ(prompter.shown.size(), 1u);
    QTimer::singleShot(5000, &dialog, &QDialog::accept);  // only if the queued close never came
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

}  // namespace
}  // namespace quarlink::testing
