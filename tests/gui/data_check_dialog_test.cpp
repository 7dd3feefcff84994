#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "jobs/data_check_dialog.h"
#include "store/atomic_file.h"
#include "store/folder_layout.h"
#include "store/price_series.h"
#include "support/fake_prompter.h"
#include "support/temp_dir.h"

using namespace quarlink;

namespace {

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

std::string image(std::initializer_list<int> dates) {
    PriceSeries s;
    for (int d : dates) s.append(PriceRecord{d, 1, 2, 1, 2, 5, 6, 7});
    return serializePriceSeries(s);
}

TEST(DataCheckDialog, ChecksOnOpenListsFindingsRepairsAndSaves) {
    test::TempDir dir;
    Application app;
    app.workDir = dir / "work";
    app.chartFolder = (dir / "chart").string();
    std::filesystem::create_directories(app.workDir);
    test::writeFile(layout::indexFile(app), "date=20060105\r\n0101,N,T1,1\r\n1301,N,T1,100\r\n");
    test::writeFile(layout::dataFile(app, 101), image({20060104, 20060105}));
    test::writeFile(layout::dataFile(app, 1301), image({20060105, 20060104}));
    test::FakePrompter prompter;
    DataCheckDialog dialog(app, nullptr, &prompter);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("データ点検"));
    auto* table = dialog.findChild<QTreeWidget*>(QStringLiteral("findings"));
    auto* check = dialog.findChild<QPushButton*>(QStringLiteral("checkButton"));
    auto* repair = dialog.findChild<QPushButton*>(QStringLiteral("repairButton"));
    ASSERT_TRUE(table && check && repair);
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

    const auto saved = dir / "report.txt";
    ASSERT_TRUE(dialog.saveReport(QString::fromStdString(saved.string())));
    EXPECT_NE(test::readFile(saved).find("1301\t日付の順序が乱れている"), std::string::npos);
}

}  // namespace
