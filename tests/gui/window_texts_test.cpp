// What a new user trips over in the windows: status lines that show only
// their tail, Enter removing an index change, English standard buttons.
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <atomic>
#include <thread>
#include <unistd.h>

#include "gui/jobs/job_status.h"
#include "gui/jobs/supp_shin_dialog.h"
#include "gui/jobs/update_dialog.h"
#include "core/jobs/update_job.h"
#include "gui/jobs/update_index_dialog.h"
#include "support/loopback_server.h"
#include "support/fake_prompter.h"
#include "support/scratch_chart.h"

using namespace quarlink;
namespace fs = std::filesystem;

namespace {

// Answers every connection with `bytes`.
struct OneReplyServer : test::LoopbackServer {
    explicit OneReplyServer(std::string bytes) : LoopbackServer(test::reply(std::move(bytes)), true) {}
};

struct Work : test::ScratchChart {
    explicit Work(int port) {
        writeIndex("date=20061101\r\n1301,A,T1,1000\r\n1332,B,T1,1000\r\n2000,C,T1,1000\r\n");
        writeFile(layout::endpointsFile(app), "index=127.0.0.1:" + std::to_string(port) + "\n");
    }
};

}  // namespace

TEST(WindowTexts, StatusLinesShowTheirBeginningAndFitTheirLongestText) {
    Work w(1);
    UpdateDialog update(w.app, nullptr);
    SuppShinDialog margin(w.app, nullptr);
    const std::pair<QLineEdit*, const char*> lines[] = {{update.statusLine(), update_text::kFinishedSkip},
                                                        {margin.statusLine(), margin_fill_text::kFinishedSkip}};
    for (const auto& [line, longest] : lines) {
        const QString text = QString::fromUtf8(longest);
        EXPECT_GE(line->minimumWidth(), line->fontMetrics().horizontalAdvance(text)) << longest;
        line->setMinimumWidth(40);
        line->resize(40, line->height());
        JobOutcome o;
        o.status = longest;
        showOutcome(o, line, update.progressBar());
        EXPECT_EQ(line->cursorPosition(), 0) << longest;
        EXPECT_EQ(line->toolTip(), text);
    }
}

TEST(WindowTexts, StandardButtonsAndQuestionsAreJapanese) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quarlink"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("はい")))
        << box.button(QMessageBox::Yes)->text().toStdString();
    EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("いいえ")));
    EXPECT_TRUE(box.button(QMessageBox::Cancel)->text().startsWith(QStringLiteral("キャンセル")));
}

// Enter never removes an entry, and a remove button acts only on the list
// whose entry is shown.
TEST(WindowTexts, IndexUpdateListsShareOneSelectionAndEnterRemovesNothing) {
    OneReplyServer server(
        "HTTP/1.0 200 OK\r\n\r\ndate=20061205\r\n1301,A,T1,1000\r\n1332,NEW,T1,100\r\n1400,ADDED,T1,100\r\n");
    Work w(server.port());
    test::FakePrompter prompter;
    UpdateIndexDialog d(w.app, nullptr, &prompter);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d, 5000));
    QTest::mouseClick(d.downloadButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(d.changedList()->count() > 0 && d.downloadButton()->isEnabled(), 10000);
    ASSERT_EQ(d.changedList()->count(), 2);       // 1332 changed, 1400 new
    ASSERT_EQ(d.unregisteredList()->count(), 1);  // 2000 gone
    for (QPushButton* b : {d.removeChangedButton(), d.removeUnregisteredButton()}) {
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
    }

    d.changedList()->setCurrentRow(0);
    d.changedList()->setFocus();
    QTest::keyClick(d.changedList(), Qt::Key_Return);
    QTest::keyClick(&d, Qt::Key_Enter);
    EXPECT_EQ(d.changedList()->count(), 2);

    d.unregisteredList()->setCurrentRow(0);
    EXPECT_EQ(d.changedList()->currentRow(), -1);
    EXPECT_TRUE(d.changedList()->selectedItems().isEmpty());
    QTest::mouseClick(d.removeChangedButton(), Qt::LeftButton);
    EXPECT_EQ(d.changedList()->count(), 2);  // nothing was selected there
    EXPECT_EQ(d.unregisteredList()->currentRow(), 0);

    d.changedList()->setCurrentRow(1);
    EXPECT_TRUE(d.unregisteredList()->selectedItems().isEmpty());
    QTest::mouseClick(d.removeChangedButton(), Qt::LeftButton);
    EXPECT_EQ(d.changedList()->count(), 1);
    EXPECT_EQ(d.unregisteredList()->count(), 1);
    EXPECT_TRUE(prompter.messages.empty());
}

// While a code's page is on its way the bar already shows that code, not the
// one before it.
TEST(WindowTexts, ProgressBarShowsTheCodeWhoseFetchIsUnderWay) {
    std::atomic<int> served{0};
    test::LoopbackServer server(
        [&](int fd, const test::StopFlag& stop) {
            if (served++ == 0) return test::reply(test::kHeader + test::stockPage())(fd, stop);
            test::readRequest(fd, stop);
            test::sleepUnlessStopped(std::chrono::seconds(30), stop);
        },
        true);
    Work w(server.port());
    std::ofstream(layout::endpointsFile(w.app)) << "stock=127.0.0.1:" << server.port() << "\n";
    UpdateDialog d(w.app, nullptr);
    d.sourceList()->setCurrentIndex(d.sourceList()->findData(int(SourceKind::InfoSeek)));  // the stock pages
    d.show();
    QTest::mouseClick(d.startButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(served.load() >= 2 && d.progressBar()->value() == 13, 10000);
    EXPECT_EQ(d.progressBar()->value(), 13);  // 1301's page is hanging
    EXPECT_TRUE(d.jobBusy());
    d.reject();
}
