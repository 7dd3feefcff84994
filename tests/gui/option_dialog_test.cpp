#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <QComboBox>
#include "gui/shell/about_dialog.h"
#include "gui/shell/jquants_options.h"
#include "gui/shell/option_dialog.h"
#include "gui/shell/schedule_options.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "support/fake_prompter.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

std::string fileText(const std::filesystem::path& p) {
    std::string bytes;
    readWholeFile(p, bytes);
    return bytes;
}

struct OptionFixture : ::testing::Test {
    test::TempDir dir;
    Application app;
    test::FakePrompter prompter;
    void SetUp() override {
        app.workDir = dir.path();
        app.chartFolder = "/home/u/chart";
        app.launchChart = 1;
        ASSERT_TRUE(replaceFileAtomically(layout::optionsFile(app), "/home/u/chart,1\r\n"));
    }
};

TEST_F(OptionFixture, OpensWithTheCurrentSettingsAndExactTexts) {
    OptionDialog dlg(app, nullptr, &prompter);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("オプション"));
    EXPECT_EQ(dlg.pathField()->text(), QStringLiteral("/home/u/chart"));
    EXPECT_TRUE(dlg.launchBox()->isChecked());
    EXPECT_EQ(dlg.launchBox()->text(), QStringLiteral("Quarlink起動時にSorvantideを同時に起動"));
    EXPECT_EQ(dlg.browseButton()->text(), QStringLiteral("参照..."));
    EXPECT_EQ(dlg.saveButton()->text(), QStringLiteral("保存"));
    EXPECT_TRUE(dlg.saveButton()->isDefault());
    EXPECT_EQ(dlg.cancelButton()->text(), QStringLiteral("キャンセル"));
}

TEST_F(OptionFixture, SaveStoresSettingsAndWritesTheFile) {
    OptionDialog dlg(app, nullptr, &prompter);
    dlg.pathField()->setText(QStringLiteral("  /srv/チャート/  "));
    dlg.launchBox()->setChecked(false);
    dlg.saveButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(app.chartFolder, "/srv/チャート");
    EXPECT_EQ(app.launchChart, 0);
    EXPECT_EQ(fileText(layout::optionsFile(app)), "/srv/チャート,0\r\n");
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(OptionFixture, ReturnInThePathFieldSaves) {
    OptionDialog dlg(app, nullptr, &prompter);
    dlg.show();
    dlg.pathField()->setFocus();
    dlg.pathField()->setText(QStringLiteral("/typed"));
    QTest::keyClick(dlg.pathField(), Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(app.chartFolder, "/typed");
    EXPECT_EQ(fileText(layout::optionsFile(app)), "/typed,1\r\n");
}

TEST_F(OptionFixture, CancelAfterEditingChangesNothing) {
    OptionDialog dlg(app, nullptr, &prompter);
    dlg.pathField()->setText(QStringLiteral("/elsewhere"));
    dlg.launchBox()->setChecked(false);
    dlg.show();
    QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(app.chartFolder, "/home/u/chart");
    EXPECT_EQ(app.launchChart, 1);
    EXPECT_EQ(fileText(layout::optionsFile(app)), "/home/u/chart,1\r\n");
}

TEST_F(OptionFixture, BrowseReplacesTheTypedTextAndCancelledBrowseKeepsIt) {
    OptionDialog dlg(app, nullptr, &prompter);
    QString answer = QStringLiteral("/picked/folder");
    dlg.setFolderPicker([&](QWidget*) { return answer; });
    dlg.pathField()->setText(QStringLiteral("/typed/by/hand/and/longer"));
    dlg.browseButton()->click();
    EXPECT_EQ(dlg.pathField()->text(), QStringLiteral("/picked/folder"));
    answer.clear();
    dlg.browseButton()->click();
    EXPECT_EQ(dlg.pathField()->text(), QStringLiteral("/picked/folder"));
}

TEST_F(OptionFixture, EmptyPathMayBeSaved) {
    OptionDialog dlg(app, nullptr, &prompter);
    dlg.pathField()->clear();
    dlg.saveButton()->click();
    EXPECT_FALSE(app.chartFolderConfigured());
    EXPECT_EQ(fileText(layout::optionsFile(app)), ",1\r\n");
}

TEST_F(OptionFixture, UnwritableFileIsReportedAndSettingsStayInEffect) {
    app.workDir = app.workDir / "missing" / "folder";
    OptionDialog dlg(app, nullptr, &prompter);
    dlg.pathField()->setText(QStringLiteral("/new/chart"));
    dlg.saveButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(app.chartFolder, "/new/chart");
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0],
              "ファイルオープンエラー：Quarlink.conf\r\nオプションファイルが作成できませんでした。オプションは保存されません。");
}

// The J-Quants section, away from the machine's own key.
struct JQuantsOptionFixture : OptionFixture {
    static constexpr const char* kKey = "fake-key-options-9c2d";
    void SetUp() override {
        OptionFixture::SetUp();
        unsetenv("JQUANTS_API_KEY");
        setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
    }
};

TEST_F(JQuantsOptionFixture, TheKeyIsSavedPrivatelyShownByItsEndAndDeletedOnRequest) {
    {
        OptionDialog dlg(app, nullptr, &prompter);
        JQuantsOptions* j = dlg.jquantsOptions();
        EXPECT_EQ(j->keyField()->echoMode(), QLineEdit::Password);
        j->keyField()->setText(QString(" ") + kKey);
        j->planList()->setCurrentIndex(3);  // Standard
        dlg.saveButton()->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(fileText(dir / "jquants.key"), std::string(kKey) + "\n");
    EXPECT_EQ(loadEndpoints(dir / "endpoints.conf").jquantsPlan, JQuantsPlan::Standard);
    OptionDialog again(app, nullptr, &prompter);
    JQuantsOptions* j = again.jquantsOptions();
    EXPECT_TRUE(j->keyState()->text().contains(QStringLiteral("9c2d")) &&
                !j->keyState()->text().contains(QStringLiteral("s-9c2d")));
    EXPECT_TRUE(j->keyField()->isHidden());
    prompter.answers = {test::FakePrompter::Answer::Yes};
    j->deleteButton()->click();
    EXPECT_FALSE(std::filesystem::exists(dir / "jquants.key"));
    EXPECT_FALSE(j->keyField()->isHidden());
}

TEST_F(JQuantsOptionFixture, AJQuantsScheduleWithoutAKeyIsRefusedAndTheDialogStaysUsable) {
    OptionDialog dlg(app, nullptr, &prompter);
    dlg.scheduleBox()->setChecked(true);
    dlg.scheduleSource()->setCurrentIndex(static_cast<int>(ScheduleSource::JQuants));
    dlg.pathField()->setText(QStringLiteral("/new/chart"));
    dlg.saveButton()->click();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(prompter.messages.at(0).find(option_text::kJQuantsNeedsKey), 0u);
    EXPECT_EQ(app.chartFolder, "/home/u/chart") << "nothing is saved by a refused save";
    EXPECT_FALSE(std::filesystem::exists(dir / "schedule.conf"));
    dlg.jquantsOptions()->keyField()->setText(kKey);
    dlg.saveButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_NE(fileText(dir / "schedule.conf").find("jquants"), std::string::npos);
}

TEST_F(JQuantsOptionFixture, TheRegistrationPageOpensOrItsAddressIsShown) {
    OptionDialog dlg(app, nullptr, &prompter);
    JQuantsOptions* j = dlg.jquantsOptions();
    for (const bool opens : {true, false}) {
        SCOPED_TRACE(opens);
        QStringList opened;
        j->setUrlOpener([&](const QString& url) { opened << url; return opens; });
        j->signUpButton()->click();
        EXPECT_EQ(opened, QStringList{QStringLiteral("https://jpx-jquants.com/")});
        EXPECT_EQ(j->testResult()->text().contains(QStringLiteral("https://jpx-jquants.com/")), !opens);
    }
}

TEST(AboutDialog, ShowsVersionMakerAndReadOnlyAddresses) {
    AboutDialog dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("バージョン情報 Quarlink"));
    QStringList labels;
    for (auto* l : dlg.findChildren<QLabel*>()) labels << l->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("Quarlink Version 0.13")));
    EXPECT_TRUE(labels.contains(QStringLiteral("最新版ダウンロード")));
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QString& s) { return s.startsWith(QStringLiteral("製作元：")) && s.size() > 4; }));
    for (QLineEdit* field : {dlg.makerAddressField(), dlg.downloadAddressField()}) {
        EXPECT_TRUE(field->isReadOnly());
        EXPECT_TRUE(field->text().startsWith(QStringLiteral("https://")));
    }
    auto buttons = dlg.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QStringLiteral("OK"));
    buttons[0]->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace quarlink
