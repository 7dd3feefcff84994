// The network dialogs' source, the choices it fills, refusals, 閉じる after a run.
#include <QApplication>
#include <QDate>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "gui/jobs/init_value_data_dialog.h"
#include "gui/jobs/supp_shin_dialog.h"
#include "gui/jobs/update_dialog.h"
#include "gui/jobs/update_index_dialog.h"
#include "support/fake_prompter.h"
#include "support/loopback_server.h"
#include "support/scratch_chart.h"

using namespace quarlink;

namespace {

// Nothing listens on port 1: every fetch fails at once.
struct Work : test::ScratchChart {
    explicit Work(const std::string& plan = "free") {
        ::unsetenv("JQUANTS_API_KEY");
        writeIndex("date=20061205\r\n1301,A,T1,1000\r\n");
        std::string conf = "retry_wait_ms=0\njquants=http://127.0.0.1:1/v2\njquants_plan=" + plan + "\n";
        for (const char* key : {"stock", "history", "quote", "index"}) conf += std::string(key) + "=127.0.0.1:1\n";
        writeFile(layout::endpointsFile(app), conf);
    }
    void addKey() const {
        writeFile(app.workDir / "jquants.key", "fake-gui-key\n");
        std::filesystem::permissions(app.workDir / "jquants.key", std::filesystem::perms(0600));
    }
};
struct Opened { std::unique_ptr<JobDialog> dialog; QComboBox* source; QPushButton* start; };
template <class D, auto list, auto start>
Opened openDialog(Application& app, Prompter* prompter) {
    auto* d = new D(app, nullptr, prompter);
    QCoreApplication::processEvents();  // the index update reads index.txt once its constructor is over
    return {std::unique_ptr<JobDialog>(d), (d->*list)(), (d->*start)()};
}
SourceKind shown(const Opened& o) { return static_cast<SourceKind>(o.source->currentData().toInt()); }
// Every message box shown, with its icon, closed at once.
struct Boxes {
    std::vector<std::pair<QMessageBox::Icon, std::string>> seen;
    QTimer poll;
    Boxes() {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen.emplace_back(box->icon(), box->text().toStdString());
                box->accept();
            }
        });
        poll.start(10);
    }
};
struct DialogCase { const char* name; Opened (*open)(Application&, Prompter*); SourceKind withoutKey; };
const DialogCase kDialogs[] = {
    {"update", openDialog<UpdateDialog, &UpdateDialog::sourceList, &UpdateDialog::startButton>, SourceKind::Yahoo},
    {"margin fill", openDialog<SuppShinDialog, &SuppShinDialog::sourceList, &SuppShinDialog::startButton>,
     SourceKind::Yahoo},
    {"initial data", openDialog<InitValueDataDialog, &InitValueDataDialog::sourceList, &InitValueDataDialog::createButton>,
     SourceKind::Yahoo},
    {"index update", openDialog<UpdateIndexDialog, &UpdateIndexDialog::sourceBox, &UpdateIndexDialog::downloadButton>,
     SourceKind::InfoSeek},
};
}  // namespace

TEST(DialogChoices, SourceIsJQuantsOnceAKeyIsUsableAndTheLastOneUsedOtherwise) {
    for (const DialogCase& c : kDialogs) {
        SCOPED_TRACE(c.name);
        Work w;
        test::FakePrompter prompter;
        EXPECT_EQ(shown(c.open(w.app, &prompter)), c.withoutKey);
        w.addKey();
        EXPECT_EQ(shown(c.open(w.app, &prompter)), SourceKind::JQuants);
        {
            Opened o = c.open(w.app, &prompter);
            o.source->setCurrentIndex(o.source->findData(int(c.withoutKey)));
            QTest::mouseClick(o.start, Qt::LeftButton);
        }
        EXPECT_EQ(shown(c.open(w.app, &prompter)), c.withoutKey);
        w.writeFile(w.app.workDir / "dialogs.conf", "\x81\x40=jquants\nupdate.source=\n");
        EXPECT_EQ(shown(c.open(w.app, &prompter)), SourceKind::JQuants);
    }
}

TEST(DialogChoices, RefusedStartWarnsAndLeavesEveryControlUsableForAnotherTry) {
    for (const DialogCase& c : kDialogs) {
        SCOPED_TRACE(c.name);
        Work w;
        Boxes boxes;
        Opened o = c.open(w.app, nullptr);
        o.source->setCurrentIndex(o.source->findData(int(SourceKind::JQuants)));
        QTest::mouseClick(o.start, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.seen.size() == 1 && !o.dialog->jobBusy(); }, 15000));
        EXPECT_EQ(boxes.seen[0].first, QMessageBox::Warning);
        EXPECT_NE(boxes.seen[0].second.find("オプションでJ-Quants APIキーを設定"), std::string::npos);
        EXPECT_TRUE(o.start->isEnabled());
        EXPECT_TRUE(o.source->isEnabled());
        // The other source is taken this time: the pages' connection fails.
        o.source->setCurrentIndex(o.source->findData(int(c.withoutKey)));
        QTest::mouseClick(o.start, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.seen.size() == 2 && !o.dialog->jobBusy(); }, 15000));
        EXPECT_EQ(boxes.seen[1].second.find("J-Quants"), std::string::npos) << boxes.seen[1].second;
    }
}

TEST(DialogChoices, CancelSaysCloseOnceARunHasFinished) {
    test::LoopbackServer server(test::reply(test::kHeader + test::stockPage()), true);
    Work w;
    w.writeFile(layout::endpointsFile(w.app), "stock=127.0.0.1:" + std::to_string(server.port()) + "\n");
    test::FakePrompter prompter;
    UpdateDialog d(w.app, nullptr, &prompter);
    d.sourceList()->setCurrentIndex(d.sourceList()->findData(int(SourceKind::InfoSeek)));
    d.show();
    QTest::mouseClick(d.startButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d.jobBusy() && d.cancelButton()->text() == "閉じる"; }, 15000));
    QTest::mouseClick(d.cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
}

TEST(DialogChoices, InitialDataOffersWhatThePlanAndSourceHave) {
    const std::pair<const char*, int> plans[] = {{"free", 2}, {"light", 5}, {"standard", 10}, {"premium", 20}};
    const int thisYear = QDate::currentDate().year();
    for (const auto& [plan, years] : plans) {
        SCOPED_TRACE(plan);
        Work w(plan);
        InitValueDataDialog d(w.app, nullptr);
        EXPECT_EQ(d.yearList()->itemText(0), "1990");
        d.sourceList()->setCurrentIndex(d.sourceList()->findData(int(SourceKind::JQuants)));
        EXPECT_GE(d.yearList()->itemText(0).toInt(), thisYear - years - 1);
        EXPECT_LE(d.yearList()->itemText(0).toInt(), thisYear - years);
        EXPECT_LE(d.yearList()->itemText(d.yearList()->count() - 1).toInt(), thisYear);
        EXPECT_FALSE(d.nikkeiBox()->isEnabled());
        EXPECT_EQ(d.topixBox()->isEnabled(), std::string(plan) != "free");
        EXPECT_FALSE(d.planNote()->isHidden());
    }
}
