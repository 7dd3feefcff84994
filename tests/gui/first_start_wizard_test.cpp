// The first-start guide walked page by page against the API of quarlink-pages.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimeEdit>
#include <gtest/gtest.h>

#include "core/app/startup.h"
#include "gui/shell/first_start_wizard.h"
#include "gui/shell/jquants_options.h"
#include "gui/shell/option_dialog.h"
#include "support/fake_clock.h"
#include "support/fake_prompter.h"
#include "support/temp_dir.h"
#ifdef QUARLINK_PAGES_PATH
#include "support/page_server.h"
#endif

namespace quarlink {
namespace {

// QUARLINK_SCREENSHOTS=DIR keeps pictures of what the walk shows (of `part` alone when given), for the README.
void keepPicture(QWidget* window, const char* name, QWidget* part = nullptr) {
    const char* folder = std::getenv("QUARLINK_SCREENSHOTS");
    for (int i = 0; folder && i < 6; ++i) {  // the layout follows the last texts
        QCoreApplication::processEvents();
        if (i == 2) window->adjustSize();
    }
    if (folder) window->grab(part ? part->geometry().adjusted(-8, -8, 8, 8) : window->rect()).save(QString(folder) + "/" + name);
}

struct GuideFixture : ::testing::Test {
    static constexpr const char* kKey = "fake-key-guide-3e4f5a";
    test::TempDir dir;
    Application app;
    test::FakePrompter prompter;
    FixedClock clock{LocalDateTime{2026, 1, 9, 18, 0, 0}};
    test::FakeTime time;
    void SetUp() override {
        unsetenv("JQUANTS_API_KEY");
        setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
        app.workDir = dir.path() / "work";
        std::filesystem::create_directories(app.workDir);
        std::filesystem::create_directories(dir.path() / "chart" / "data");
    }
    WebEnvironment environment() { return {&clock, &time.steady, &time.sleeper}; }
};

#ifdef QUARLINK_PAGES_PATH
TEST_F(GuideFixture, WalksFolderKeyAndTestInitialDataAndSchedule) {
    ASSERT_TRUE(test::generateMarket(dir.path() / "market", "--codes 3 --to 20260109"));
    test::PageServer server(dir.path() / "market",
                            std::string("--api-key ") + kKey + " --plan standard --now 2026-01-09T18:00");
    test::writeFile(app.workDir / "endpoints.conf",
                    "jquants=http://127.0.0.1:" + std::to_string(server.port()) + "/v2\nretry_wait_ms=0\n");
    FirstStartWizard guide(app, prompter, nullptr, environment());
    std::vector<TrayCommand> opened;
    guide.setDialogOpener([&](TrayCommand command, QWidget*) { opened.push_back(command); });
    guide.show();
    guide.folderField()->setText(QString::fromStdString((dir.path() / "chart").string()));
    guide.next();
    ASSERT_EQ(guide.currentId(), FirstStartWizard::KeyPage);
    JQuantsOptions* key = guide.keyOptions();
    key->keyField()->setText(kKey);
    QSignalSpy tested(key, &JQuantsOptions::testFinished);
    key->testButton()->click();
    ASSERT_TRUE(tested.wait(20000));
    EXPECT_TRUE(key->testResult()->text().contains(QStringLiteral("プラン：Standard"))) << key->testResult()->text().toStdString();
    keepPicture(&guide, "first-start-key.png");
    guide.next();
    ASSERT_EQ(guide.currentId(), FirstStartWizard::DataPage) << "data/ is empty";
    EXPECT_EQ(test::readFile(app.workDir / "jquants.key"), std::string(kKey) + "\n");
    EXPECT_EQ(loadJQuantsPlan(app.workDir).detected, JQuantsPlan::Standard);
    QSignalSpy estimated(&guide, &FirstStartWizard::estimateFinished);
    guide.estimateButton()->click();
    ASSERT_TRUE(estimated.wait(60000));
    EXPECT_TRUE(guide.estimateText()->text().startsWith(QStringLiteral("J-Quants：")))
        << guide.estimateText()->text().toStdString();
    keepPicture(&guide, "first-start-data.png");
    guide.openInitButton()->click();
    guide.openIndexButton()->click();
    EXPECT_EQ(opened, (std::vector<TrayCommand>{TrayCommand::InitValueData, TrayCommand::UpdateIndex}));
    guide.next();
    ASSERT_EQ(guide.currentId(), FirstStartWizard::SchedulePage);
    guide.scheduleBox()->setChecked(true);
    guide.scheduleTime()->setTime(QTime(18, 30));
    guide.button(QWizard::FinishButton)->click();
    EXPECT_EQ(guide.result(), QDialog::Accepted);
    const ScheduleSettings s = loadSchedule(app.workDir).settings;
    EXPECT_TRUE(s.enabled && s.source == ScheduleSource::JQuants && s.hour * 100 + s.minute == 1830) << formatSchedule(s);
    EXPECT_FALSE(firstStartGuideDue(app));
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0];
    if (std::getenv("QUARLINK_SCREENSHOTS")) {
        OptionDialog options(app, nullptr, &prompter);
        options.show();
        QSignalSpy again(options.jquantsOptions(), &JQuantsOptions::testFinished);
        options.jquantsOptions()->testButton()->click();
        ASSERT_TRUE(again.wait(20000));
        keepPicture(&options, "options-jquants.png", options.jquantsOptions());
    }
}
#endif

TEST_F(GuideFixture, EveryPageCanBeSkippedAndTheGuideIsNotDueAgain) {
    FirstStartWizard guide(app, prompter, nullptr, environment());
    guide.show();
    ASSERT_TRUE(firstStartGuideDue(app));
    guide.next();
    guide.next();
    EXPECT_EQ(guide.currentId(), FirstStartWizard::SchedulePage) << "no chart folder: no initial data";
    guide.button(QWizard::FinishButton)->click();
    EXPECT_EQ(guide.result(), QDialog::Accepted);
    EXPECT_FALSE(app.chartFolderConfigured());
    EXPECT_FALSE(std::filesystem::exists(app.workDir / "jquants.key") || std::filesystem::exists(app.workDir / "schedule.conf"));
    EXPECT_FALSE(firstStartGuideDue(app));
    EXPECT_TRUE(prompter.messages.empty());
}

}  // namespace
}  // namespace quarlink
