// The network job dialogs: controls and texts, start wiring, and a
// "キャンセル" that closes at once while a fetch hangs.
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "gui/jobs/init_value_data_dialog.h"
#include "gui/jobs/supp_shin_dialog.h"
#include "gui/jobs/update_dialog.h"
#include "gui/jobs/update_index_dialog.h"
#include "core/store/price_record.h"
#include "support/fake_prompter.h"
#include "support/loopback_server.h"
#include "support/scratch_chart.h"

using namespace quarlink;
namespace fs = std::filesystem;

namespace {

struct ConnectionCount {
    std::atomic<int> accepted{0};
};

// A server that never answers: it counts the connections it takes and lets
// each go when its client hangs up, so that the next fetch is taken too.
struct SilentServer : ConnectionCount, test::LoopbackServer {
    SilentServer()
        : LoopbackServer(
              [this](int fd, const std::atomic<bool>& stop) {
                  ++accepted;
                  char byte;
                  while (test::waitReadable(fd, stop) && ::recv(fd, &byte, 1, 0) > 0) {}
              },
              true) {}
};

struct Scratch : test::ScratchChart {
    Scratch(int port) {
        writeIndex("date=20061205\r\n1301,A,T1,1000\r\n");
        const std::string at = "127.0.0.1:" + std::to_string(port);
        writeFile(layout::endpointsFile(app), "quote=" + at + "\nhistory=" + at + "\nstock=" + at + "\nindex=" + at +
                                                  "\nretry_wait_ms=0\n");
    }
};

// Clicks `start` and waits until the job's fetch hangs on the silent server.
void startAndWaitForTheFetch(QPushButton* start, const SilentServer& server) {
    const int before = server.accepted;
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.accepted > before; }, 15000));
}

template <typename Dialog>
void expectCancelClosesAtOnce(Dialog& dialog, QPushButton* start, const SilentServer& server) {
    dialog.show();
    startAndWaitForTheFetch(start, server);
    ASSERT_TRUE(dialog.jobBusy());
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_LT(timer.elapsed(), 500);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.jobBusy());
}

}  // namespace

TEST(UpdateDialog, ControlsAndDefaults) {
    Scratch s(1);
    UpdateDialog d(s.app, nullptr);
    EXPECT_EQ(d.windowTitle(), "日々のデータ更新");
    EXPECT_EQ(d.marginBox()->text(), "信用残の取得");
    EXPECT_TRUE(d.marginBox()->isChecked());
    EXPECT_EQ(d.indexOnlyBox()->text(), "index.txtに登録されているもののみ取得");
    EXPECT_TRUE(d.indexOnlyBox()->isChecked());
    EXPECT_EQ(d.nikkeiBox()->text(), "日経平均の取得(出来高取得不可)");
    EXPECT_FALSE(d.nikkeiBox()->isChecked());
    ASSERT_EQ(d.sourceList()->count(), 3);
    EXPECT_EQ(d.sourceList()->itemText(0), "InfoSeekマネー");
    EXPECT_EQ(d.sourceList()->itemText(1), "Yahoo!ファイナンス");
    EXPECT_EQ(d.sourceList()->itemText(2), "J-Quants API");
    EXPECT_EQ(d.startButton()->text(), "更新");
    EXPECT_EQ(d.cancelButton()->text(), "キャンセル");
    EXPECT_TRUE(d.statusLine()->isReadOnly());
    EXPECT_EQ(s.app.currentCode, 101);
}

TEST(UpdateDialog, ConnectionFailureReenablesOnlyTheStartButton) {
    Scratch s(1);  // nothing listens on port 1
    test::FakePrompter prompter;
    UpdateDialog d(s.app, nullptr, &prompter);
    d.show();
    QTest::mouseClick(d.startButton(), Qt::LeftButton);
    EXPECT_FALSE(d.marginBox()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter.messages.empty(); }, 15000));
    EXPECT_EQ(prompter.messages[0], "接続が切断されました。更新ボタンで続きから取得できます。");
    EXPECT_TRUE(d.startButton()->isEnabled());
    EXPECT_FALSE(d.marginBox()->isEnabled());
    EXPECT_EQ(s.app.currentCode, 101);
}

// The J-Quants source: a working folder with a key and one price file.
void useJQuants(Scratch& s, int port) {
    std::ofstream(s.app.workDir / "endpoints.conf", std::ios::app)
        << "jquants=http://127.0.0.1:" << port << "/v2\njquants_rpm=0\n";
    const fs::path key = s.app.workDir / "jquants.key";
    std::ofstream(key) << "fake-gui-key\n";
    fs::permissions(key, fs::perms::owner_read | fs::perms::owner_write);
    s.writePrices(1301, {PriceRecord{20260105, 100, 110, 90, 105, 1000, 0, 0}});
}

TEST(UpdateDialog, JQuantsWithoutAKeyNamesBothPlacesAndCanBeStartedAgain) {
    Scratch s(1);
    ::unsetenv("JQUANTS_API_KEY");
    test::FakePrompter prompter;
    UpdateDialog d(s.app, nullptr, &prompter);
    d.sourceList()->setCurrentIndex(2);
    QTest::mouseClick(d.startButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter.messages.empty(); }, 15000));
    EXPECT_NE(prompter.messages[0].find("JQUANTS_API_KEY"), std::string::npos) << prompter.messages[0];
    EXPECT_NE(prompter.messages[0].find("jquants.key"), std::string::npos);
    EXPECT_TRUE(d.startButton()->isEnabled());
}

TEST(NetworkDialogs, CancelClosesWithinHalfASecondWhileAFetchHangs) {
    SilentServer server;
    {
        Scratch s(server.port());
        UpdateDialog d(s.app, nullptr);
        expectCancelClosesAtOnce(d, d.startButton(), server);
    }
    {
        Scratch s(server.port());
        useJQuants(s, server.port());
        test::FakePrompter prompter;
        UpdateDialog d(s.app, nullptr, &prompter);
        d.sourceList()->setCurrentIndex(2);
        expectCancelClosesAtOnce(d, d.startButton(), server);
        EXPECT_TRUE(prompter.messages.empty());
    }
    for (const int source : {0, 1}) {  // the pages, then J-Quants
        SCOPED_TRACE(source ? "J-Quants" : "pages");
        {
            Scratch s(server.port());
            if (source) useJQuants(s, server.port());
            test::FakePrompter prompter;
            SuppShinDialog d(s.app, nullptr, &prompter);
            d.sourceList()->setCurrentIndex(source);
            SCOPED_TRACE("margin fill");
            expectCancelClosesAtOnce(d, d.startButton(), server);
            EXPECT_TRUE(prompter.messages.empty());
        }
        {
            Scratch s(server.port());
            if (source) useJQuants(s, server.port());
            test::FakePrompter prompter;
            InitValueDataDialog d(s.app, nullptr, &prompter);
            d.sourceList()->setCurrentIndex(source);
            expectCancelClosesAtOnce(d, d.createButton(), server);
            EXPECT_TRUE(prompter.messages.empty());
        }
    }
    {
        Scratch s(server.port());
        UpdateIndexDialog d(s.app, nullptr);
        expectCancelClosesAtOnce(d, d.downloadButton(), server);
    }
}

TEST(SuppShinDialog, ControlsAndDefaults) {
    Scratch s(1);
    SuppShinDialog d(s.app, nullptr);
    EXPECT_EQ(d.windowTitle(), "信用残補填");
    EXPECT_EQ(d.startButton()->text(), "取得");
    EXPECT_TRUE(d.indexOnlyBox()->isChecked());
    ASSERT_EQ(d.sourceList()->count(), 2);
    EXPECT_EQ(d.sourceList()->itemText(0), "Yahoo!ファイナンス");
    EXPECT_EQ(d.sourceList()->itemText(1), "J-Quants API");
    EXPECT_FALSE(d.findChildren<QLabel*>().isEmpty());
}

// Choosing J-Quants in the margin fill and initial data dialogs runs the API
// source: without a key it says where the key goes, and no file is made.
TEST(NetworkDialogs, JQuantsChoiceWithoutAKeySaysWhereTheKeyGoes) {
    ::unsetenv("JQUANTS_API_KEY");
    const auto check = [](auto& dialog, QPushButton* start, test::FakePrompter& prompter, const fs::path& root) {
        dialog.sourceList()->setCurrentIndex(1);
        QTest::mouseClick(start, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter.messages.empty(); }, 15000));
        EXPECT_NE(prompter.messages[0].find("JQUANTS_API_KEY"), std::string::npos) << prompter.messages[0];
        EXPECT_NE(prompter.messages[0].find("jquants.key"), std::string::npos);
        EXPECT_TRUE(fs::is_empty(root / "init"));
    };
    {
        Scratch s(1);
        fs::create_directories(s.app.workDir / "init");
        test::FakePrompter prompter;
        SuppShinDialog d(s.app, nullptr, &prompter);
        check(d, d.startButton(), prompter, s.app.workDir);
    }
    {
        Scratch s(1);
        test::FakePrompter prompter;
        InitValueDataDialog d(s.app, nullptr, &prompter);
        ASSERT_EQ(d.sourceList()->count(), 2);
        EXPECT_EQ(d.sourceList()->itemText(1), "J-Quants API");
        check(d, d.createButton(), prompter, s.app.workDir);
        EXPECT_TRUE(d.createButton()->isEnabled());
    }
}

TEST(InitValueDataDialog, ControlsStopAndStatus) {
    SilentServer server;
    Scratch s(server.port());
    InitValueDataDialog d(s.app, nullptr);
    EXPECT_EQ(d.windowTitle(), "初期化データの作成");
    EXPECT_EQ(d.statusLine()->text(), "条件を選択して作成開始ボタンを押してください");
    EXPECT_FALSE(d.stopButton()->isEnabled());
    EXPECT_EQ(d.yearList()->itemText(0), "1990");
    EXPECT_TRUE(d.marginBox()->isChecked());
    EXPECT_FALSE(d.nikkeiBox()->isChecked());
    EXPECT_FALSE(d.topixBox()->isChecked());
    EXPECT_TRUE(fs::is_directory(s.app.workDir / "init"));
    d.show();
    startAndWaitForTheFetch(d.createButton(), server);
    EXPECT_TRUE(d.stopButton()->isEnabled());
    EXPECT_FALSE(d.transferButton()->isEnabled());
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(d.stopButton(), Qt::LeftButton);
    EXPECT_LT(timer.elapsed(), 500);
    EXPECT_EQ(d.statusLine()->text(), "転送停止中：コード（1000）");
    EXPECT_TRUE(d.createButton()->isEnabled());
    EXPECT_FALSE(d.stopButton()->isEnabled());
    EXPECT_FALSE(d.marginBox()->isEnabled());
}

TEST(UpdateIndexDialog, ControlsAndDownloadFailure) {
    Scratch s(1);
    test::FakePrompter prompter;
    UpdateIndexDialog d(s.app, nullptr, &prompter);
    EXPECT_EQ(d.windowTitle(), "index更新");
    EXPECT_EQ(d.removeChangedButton()->text(), "変更削除");
    EXPECT_EQ(d.removeUnregisteredButton()->text(), "個別削除");
    EXPECT_EQ(d.applyButton()->text(), "変更反映");
    EXPECT_EQ(d.endButton()->text(), "終了");
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    QTest::mouseClick(d.applyButton(), Qt::LeftButton);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], "インデックスがダウンロードされていません。");

    // The J-Quants source without a key: the reason, and the lists stay empty.
    qunsetenv("JQUANTS_API_KEY");
    ASSERT_EQ(d.sourceBox()->count(), 2);
    d.sourceBox()->setCurrentIndex(1);
    QTest::mouseClick(d.downloadButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompter.messages.size() == 2; }, 15000));
    EXPECT_NE(prompter.messages[1].find("JQUANTS_API_KEY"), std::string::npos) << prompter.messages[1];
    EXPECT_EQ(d.changedList()->count(), 0);
    EXPECT_TRUE(d.downloadButton()->isEnabled());
}
