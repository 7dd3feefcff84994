#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <unistd.h>

#include "gui/jobs/backup_dialog.h"
#include "gui/jobs/data_check_dialog.h"
#include "gui/jobs/supplement_dialog.h"
#include "gui/jobs/year_split_dialog.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/price_series.h"
#include "support/fake_prompter.h"
#include "support/scratch_chart.h"

using namespace quarlink;

namespace {

class FileJobDialogs : public ::testing::Test, public test::ScratchChart {
protected:
    void writePrices(const std::filesystem::path& path, std::vector<int> dates) {
        PriceSeries s;
        for (int d : dates) s.append(PriceRecord{d, 1, 2, 3, 4, 5, 6, 7});
        writeSeries(path, s);
    }
    // Runs a real event loop (qWait sleeps between event batches, which
    // would slow 10000 ticks down to a minute) until `done` or the timeout.
    template <typename Done>
    bool spinUntil(Done done, int timeoutMs = 20000) {
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (done() || clock.elapsed() > timeoutMs) loop.quit();
        });
        poll.start(5);
        loop.exec();
        return done();
    }
    template <typename T>
    T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    test::FakePrompter prompter;
};

TEST_F(FileJobDialogs, BackupStartsOnOpenAndClosesWithItsMessage) {
    writePrices(layout::dataFile(app, 101), {20061201});
    writePrices(layout::dataFile(app, 7203), {20061201});
    MakeBackUpDialog dialog(app, nullptr, &prompter);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("バックアップの作成"));
    EXPECT_EQ(child<QLineEdit>(dialog, "status")->text(), QStringLiteral("株価データバックアップ作成中..."));
    EXPECT_EQ(child<QLabel>(dialog, "note")->text(), QStringLiteral("※バックアップ中はSorvantideを操作しないでください"));
    EXPECT_EQ(child<QPushButton>(dialog, "cancelButton")->text(), QStringLiteral("キャンセル"));
    dialog.show();
    ASSERT_TRUE(spinUntil([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(prompter.messages, std::vector<std::string>{"バックアップ完了！処理ファイル数 2"});
    EXPECT_EQ(child<QProgressBar>(dialog, "progress")->value(), 99);
    EXPECT_TRUE(std::filesystem::exists(layout::backupFile(app, 7203)));
}

TEST_F(FileJobDialogs, CancelEndsTheRestoreAtOnceWithoutAMessage) {
    writePrices(layout::backupFile(app, 9999), {20061201});
    auto dialog = std::make_unique<RestoreBackUpDialog>(app, nullptr, &prompter);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("バックアップの復元"));
    dialog->show();
    QTest::mouseClick(child<QPushButton>(*dialog, "cancelButton"), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    // A cancel that let the run go on would end it with its message.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->jobBusy(); }, 20000));
    dialog.reset();  // waits for a tick in flight
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_LT(app.currentCode, 9999);
    EXPECT_FALSE(std::filesystem::exists(layout::dataFile(app, 9999)));
}

TEST_F(FileJobDialogs, SplitRunsOnOpenAndReportsTheCount) {
    writePrices(layout::dataFile(app, 7203), {20051230, 20060104});
    SepalaterDialog dialog(app, nullptr, &prompter);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("データ分割ダイアログ"));
    EXPECT_EQ(child<QLabel>(dialog, "note")->text(), QStringLiteral("※データ作成中はSorvantideを操作しないでください"));
    dialog.show();
    ASSERT_TRUE(spinUntil([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(prompter.messages, std::vector<std::string>{"分割完了！処理ファイル数 1"});
    EXPECT_TRUE(std::filesystem::exists(layout::sepFile(app, 2005, 7203)));
    EXPECT_TRUE(std::filesystem::exists(layout::sepFile(app, 2006, 7203)));
}

TEST_F(FileJobDialogs, SupplementControlsFollowTheSourceKind) {
    SupplementDialog dialog(app, nullptr, &prompter);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("株価データ補完"));
    auto* kind = child<QComboBox>(dialog, "sourceKind");
    ASSERT_EQ(kind->count(), 3);
    EXPECT_EQ(kind->itemText(0), QStringLiteral("指定フォルダ"));
    EXPECT_EQ(kind->itemText(2), QStringLiteral("バックアップ"));
    EXPECT_EQ(child<QCheckBox>(dialog, "overwrite")->text(), QStringLiteral("株価データを補完データにより上書き"));
    EXPECT_EQ(child<QLineEdit>(dialog, "status")->text(),
              QStringLiteral("株価データ補完中はSorvantideを操作しないでください。"));
    EXPECT_FALSE(child<QPushButton>(dialog, "stopButton")->isEnabled());
    EXPECT_TRUE(child<QLineEdit>(dialog, "folder")->isEnabled());
    kind->setCurrentIndex(1);
    EXPECT_FALSE(child<QLineEdit>(dialog, "folder")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(dialog, "browseButton")->isEnabled());
    kind->setCurrentIndex(0);
    EXPECT_TRUE(child<QPushButton>(dialog, "browseButton")->isEnabled());

    // An empty folder text refuses to start and leaves the settings editable.
    QTest::mouseClick(child<QPushButton>(dialog, "startButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(prompter.messages.size(), std::size_t{1}, 5000);
    EXPECT_EQ(prompter.messages[0], "指定フォルダから補完する場合はフォルダ名を入力してください。");
    QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(dialog, "startButton")->isEnabled(), 5000);
    EXPECT_TRUE(kind->isEnabled());
    EXPECT_TRUE(child<QLineEdit>(dialog, "folder")->isEnabled());
}

TEST_F(FileJobDialogs, SupplementStopsAndResumesWithTheSameSettings) {
    writePrices(root / "src" / "7203", {20061205});
    writePrices(layout::dataFile(app, 7203), {20061201});
    SupplementDialog dialog(app, nullptr, &prompter);
    dialog.show();
    child<QLineEdit>(dialog, "folder")->setText(QString::fromStdString((root / "src").string()));
    auto* start = child<QPushButton>(dialog, "startButton");
    auto* stop = child<QPushButton>(dialog, "stopButton");
    auto* status = child<QLineEdit>(dialog, "status");

    // Stop pressed before the first tick: nothing merged yet, resume later.
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(stop->isEnabled(), 5000);
    stop->click();
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("補完停止中："), 5000);
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_FALSE(child<QComboBox>(dialog, "sourceKind")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(dialog, "folder")->isEnabled());
    const int stoppedAt = app.currentCode;
    EXPECT_LE(stoppedAt, 7203);

    start->click();
    ASSERT_TRUE(spinUntil([&] { return status->text() == QStringLiteral("補完完了：処理ファイル数 1 キャンセルボタンで終了"); }));
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(dialog, "overwrite")->isEnabled());
    std::string bytes;
    ASSERT_TRUE(readWholeFile(layout::dataFile(app, 7203), bytes));
    EXPECT_EQ(bytes.size(), 64u);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(FileJobDialogs, DataCheckRunsOnOpenListsFindingsRepairsAndSaves) {
    test::writeFile(layout::indexFile(app), "date=20060105\r\n0101,N,T1,1\r\n1301,N,T1,100\r\n");
    const auto image = [](std::initializer_list<int> dates) {
        PriceSeries s;
        for (int d : dates) s.append(PriceRecord{d, 1, 2, 1, 2, 5, 6, 7});
        return serializePriceSeries(s);
    };
    test::writeFile(layout::dataFile(app, 101), image({20060104, 20060105}));
    test::writeFile(layout::dataFile(app, 1301), image({20060105, 20060104}));
    DataCheckDialog dialog(app, nullptr, &prompter);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("データ点検"));
    auto* table = child<QTreeWidget>(dialog, "findings");
    auto* check = child<QPushButton>(dialog, "checkButton");
    auto* repair = child<QPushButton>(dialog, "repairButton");
    EXPECT_EQ(table->headerItem()->text(0), QStringLiteral("コード"));
    dialog.show();
    ASSERT_TRUE(spinUntil([&] { return check->isEnabled() && table->topLevelItemCount() > 0; }));
    ASSERT_EQ(table->topLevelItemCount(), 1);
    EXPECT_EQ(table->topLevelItem(0)->text(0), QStringLiteral("1301"));
    EXPECT_TRUE(table->topLevelItem(0)->text(1).startsWith(QStringLiteral("日付の順序が乱れている")));
    EXPECT_EQ(table->topLevelItem(0)->text(2), QStringLiteral("2006/01/04"));
    ASSERT_TRUE(repair->isEnabled());

    prompter.answers = {test::FakePrompter::Answer::Yes};
    QTest::mouseClick(repair, Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] {
        return check->isEnabled() && table->topLevelItemCount() > 0 &&
               table->topLevelItem(0)->text(1).endsWith(QStringLiteral("（修復済み）"));
    }));
    EXPECT_FALSE(repair->isEnabled());
    EXPECT_EQ(test::readFile(layout::dataFile(app, 1301)), image({20060104, 20060105}));
    ASSERT_EQ(prompter.questions.size(), 1u);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].rfind("修復したファイル数 1", 0), 0u) << prompter.messages[0];

    const auto saved = root / "report.txt";
    ASSERT_TRUE(dialog.saveReport(QString::fromStdString(saved.string())));
    EXPECT_NE(test::readFile(saved).find("1301\t日付の順序が乱れている"), std::string::npos);
}

}  // namespace
