#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QTimer>
#include <QSpontaneKeyEvent>
#include <QCoreApplication>
#include <QMenu>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <unistd.h>
#include <string>
#include <vector>

#include "gui/jobs/data_check_dialog.h"
#include "gui/shell/tray_commands.h"
#include "core/app/tray_menu.h"
#include "gui/shell/tray_window.h"
#include "core/store/writer_lock.h"
#include "support/fake_prompter.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

using test::FakePrompter;

const std::string kGuard = "Sorvantideフォルダが指定されていません。\n設定⇒Sorvantide関連オプション から設定してください。";
const std::string kBackupQ =
    "Sorvantide株価データのバックアップを作成します。\n以前に作成したバックアップは上書きされますがよろしいですか？";
const std::string kRestoreQ = "Sorvantide株価データをバックアップから復元します。\n現在のデータは上書きされますがよろしいですか？";
const std::string kSplitQ = "Sorvantide株価データを年別に分割保存します。\n保存先：./sep/YYYY/code よろしいですか？";

// The menu as a user reads it: ">" opens a sub-menu, "<" closes it, "-" is a separator.
const std::vector<std::string> kExpectedMenu = {
    "定時更新を中止",  // while a scheduled run goes on
    "自動更新の結果を表示",  // until its outcome is opened
    "ポートフォリオ管理",
    ">Sorvantide(&O)",
    "日々のデータ更新",
    "信用残補填",
    "index.txt更新",
    "銘柄データ編集",
    "株価バックアップの作成",
    "株価バックアップの復元",
    "株価データ補完",
    "データ点検",
    "株価データの分割保存",
    "extensionフォルダを開く",
    "株価データ初期化(&I)",
    "<",
    ">設定(&S)",
    "Sorvantide関連オプション",
    "初期設定ガイド(&G)",
    "Quarlinkフォルダを開く",
    "<",
    "-",
    "バージョン情報(&V)",
    "-",
    "終了(&X)",
};

std::vector<std::string> describe(const QMenu& menu) {
    std::vector<std::string> out;
    for (QAction* a : menu.actions()) {
        if (a->isSeparator()) {
            out.push_back("-");
        } else if (a->menu()) {
            out.push_back(">" + a->text().toStdString());
            for (const auto& inner : describe(*a->menu())) out.push_back(inner);
            out.push_back("<");
        } else {
            out.push_back(a->text().toStdString());
        }
    }
    return out;
}

QAction* findAction(const QMenu& menu, const QString& text) {
    for (QAction* a : menu.actions()) {
        if (a->menu()) {
            if (QAction* inner = findAction(*a->menu(), text)) return inner;
        } else if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}

struct Fixture {
    test::TempDir dir;
    Application app;
    FakePrompter prompter;
    std::vector<std::filesystem::path> opened;
    int quits = 0;
    std::function<void()> lateFailure;
    TrayCommands commands;

    Fixture()
        : commands(app, prompter,
                   TrayServices{[this](const std::filesystem::path& p, std::function<void()> late) {
                                    opened.push_back(p);
                                    lateFailure = std::move(late);
                                    return true;
                                },
                                [this] { ++quits; }}) {
        app.workDir = dir.path();
        std::filesystem::create_directories(chart);
    }
    const std::string chart = (dir.path() / "chart").string();  // an existing chart folder
};

TEST(TrayMenu, ModelHasEveryEntryInOrderWithExactTexts) {
    Application app;
    FakePrompter prompter;
    TrayCommands commands(app, prompter, TrayServices{});
    QMenu menu;
    populateTrayMenu(menu, commands, {});
    EXPECT_EQ(describe(menu), kExpectedMenu);
}

TEST(TrayMenu, EveryEntryIsEnabled) {
    Application app;
    FakePrompter prompter;
    TrayCommands commands(app, prompter, TrayServices{});
    QMenu menu;
    populateTrayMenu(menu, commands, {});
    for (const TrayMenuItem& item : trayMenuItems()) {
        if (item.kind != TrayMenuItem::Kind::Entry) continue;
        QAction* a = findAction(menu, QString::fromUtf8(item.text));
        ASSERT_NE(a, nullptr) << item.text;
        EXPECT_TRUE(a->isEnabled() || item.onlyWhenOffered) << item.text;  // hidden, and so disabled, until offered
    }
}

// Every guarded entry, the extension folder included, refuses without a chart folder.
TEST(TrayCommands, GuardedEntriesShowTheGuardAndOpenNothing) {
    int guardedSeen = 0;
    for (const TrayMenuItem& item : trayMenuItems()) {
        if (item.kind != TrayMenuItem::Kind::Entry || !item.guarded) continue;
        ++guardedSeen;
        Fixture f;
        int opens = 0;
        if (item.command != TrayCommand::OpenExtensionFolder)
            f.commands.setOpener(item.command, [&](Application&, QWidget*) { ++opens; });
        f.prompter.answers = {Prompter::Answer::Yes};
        EXPECT_EQ(f.commands.run(item.command), TrayRunResult::NoChartFolder) << item.text;
        EXPECT_EQ(f.prompter.messages, std::vector<std::string>{kGuard}) << item.text;
        EXPECT_TRUE(f.prompter.questions.empty()) << item.text;
        EXPECT_EQ(opens, 0) << item.text;
        EXPECT_TRUE(f.opened.empty()) << item.text;
    }
    EXPECT_EQ(guardedSeen, 12);
}

TEST(TrayCommands, UnguardedEntriesWorkWithoutChartFolder) {
    Fixture f;
    EXPECT_EQ(f.commands.run(TrayCommand::OpenWorkFolder), TrayRunResult::Done);
    ASSERT_EQ(f.opened.size(), 1u);
    EXPECT_EQ(f.opened[0], f.app.workDir);
    EXPECT_EQ(f.commands.run(TrayCommand::Exit), TrayRunResult::Done);
    EXPECT_EQ(f.quits, 1);
    EXPECT_TRUE(f.prompter.messages.empty());
}

struct QuestionCase {
    TrayCommand command;
    const std::string* question;
};

TEST(TrayCommands, QuestionsRunBeforeTheOpenerAndOnlyYesProceeds) {
    const QuestionCase cases[] = {{TrayCommand::MakeBackUp, &kBackupQ},
                                  {TrayCommand::RestoreBackUp, &kRestoreQ},
                                  {TrayCommand::Sepalater, &kSplitQ}};
    for (const auto& c : cases) {
        for (const bool yes : {false, true}) {
            Fixture f;
            f.app.chartFolder = f.chart;
            int opens = 0;
            f.commands.setOpener(c.command, [&](Application&, QWidget*) { ++opens; });
            f.prompter.answers = {yes ? Prompter::Answer::Yes : Prompter::Answer::No};
            EXPECT_EQ(f.commands.run(c.command), yes ? TrayRunResult::Done : TrayRunResult::Declined);
            EXPECT_EQ(f.prompter.questions, std::vector<std::string>{*c.question});
            EXPECT_EQ(opens, yes ? 1 : 0);
        }
    }
}

TEST(TrayCommands, OnlyBackupRestoreAndSplitAsk) {
    for (const TrayMenuItem& item : trayMenuItems()) {
        if (item.kind != TrayMenuItem::Kind::Entry) continue;
        const bool asks = item.command == TrayCommand::MakeBackUp || item.command == TrayCommand::RestoreBackUp ||
                          item.command == TrayCommand::Sepalater;
        EXPECT_EQ(item.question != TrayQuestion::None, asks) << item.text;
    }
}

TEST(TrayCommands, ExtensionFolderIsOpenedInsideTheChartFolder) {
    Fixture f;
    f.app.chartFolder = f.chart;
    EXPECT_EQ(f.commands.run(TrayCommand::OpenExtensionFolder), TrayRunResult::Done);
    ASSERT_EQ(f.opened.size(), 1u);
    EXPECT_EQ(f.opened[0], std::filesystem::path(f.chart) / "extension");
}

TEST(TrayCommands, FolderThatCannotBeOpenedIsNamedToTheUser) {
    test::TempDir dir;
    Application app;
    app.chartFolder = dir.path().string();
    FakePrompter prompter;
    TrayCommands commands(app, prompter,
                          TrayServices{[](const std::filesystem::path&, std::function<void()>) { return false; }, {}});
    commands.run(TrayCommand::OpenExtensionFolder);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.messages[0].find((dir.path() / "extension").string()), std::string::npos);
}

// The desktop's opener only reports a missing file manager after it has run.
TEST(TrayCommands, FileManagerMissingLaterIsStillNamedToTheUser) {
    Fixture f;
    EXPECT_EQ(f.commands.run(TrayCommand::OpenWorkFolder), TrayRunResult::Done);
    EXPECT_TRUE(f.prompter.messages.empty());
    ASSERT_TRUE(f.lateFailure);
    f.lateFailure();
    ASSERT_EQ(f.prompter.messages.size(), 1u);
    EXPECT_NE(f.prompter.messages[0].find(f.app.workDir.string()), std::string::npos);
}

TEST(TrayCommands, SavedChartFolderTakesEffectForTheNextCommand) {
    Fixture f;
    int opens = 0;
    f.commands.setOpener(TrayCommand::Update, [&](Application&, QWidget*) { ++opens; });
    EXPECT_EQ(f.commands.run(TrayCommand::Update), TrayRunResult::NoChartFolder);
    // A saved folder that is not there is refused by name, not opened.
    f.app.chartFolder = f.chart + "/gone";
    f.prompter.messages.clear();
    EXPECT_EQ(f.commands.run(TrayCommand::Update), TrayRunResult::NoChartFolder);
    EXPECT_EQ(f.prompter.messages,
              std::vector<std::string>{"Sorvantideフォルダが見つからないかフォルダではありません：" + f.chart + "/gone"});
    f.app.chartFolder = f.chart;
    EXPECT_EQ(f.commands.run(TrayCommand::Update), TrayRunResult::Done);
    EXPECT_EQ(opens, 1);
}

TEST(TrayCommands, SecondCommandWhileADialogIsOpenIsRefused) {
    Fixture f;
    f.app.chartFolder = f.chart;
    TrayRunResult inner = TrayRunResult::Done;
    f.commands.setOpener(TrayCommand::Update, [&](Application&, QWidget*) {
        inner = f.commands.run(TrayCommand::Exit);
    });
    EXPECT_EQ(f.commands.run(TrayCommand::Update), TrayRunResult::Done);
    EXPECT_EQ(inner, TrayRunResult::Busy);
    EXPECT_EQ(f.quits, 0);
    EXPECT_EQ(f.commands.run(TrayCommand::Exit), TrayRunResult::Done);
    EXPECT_EQ(f.quits, 1);
}

TEST(TrayMenu, TriggeringAnActionRunsItsCommandAfterTheMenuCloses) {
    Fixture f;
    f.app.chartFolder = f.chart;
    int opens = 0;
    f.commands.setOpener(TrayCommand::Supplement, [&](Application&, QWidget*) { ++opens; });
    QMenu menu;
    populateTrayMenu(menu, f.commands, {});
    QAction* a = findAction(menu, QStringLiteral("株価データ補完"));
    ASSERT_NE(a, nullptr);
    a->trigger();
    EXPECT_EQ(opens, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(opens, 1);
}

}  // namespace
}  // namespace quarlink

namespace quarlink {
namespace {

// The exit entry ends the event loop even though the fallback window refuses
// the user's close button.
TEST(TrayWindow, ExitEndsTheProgramWhileTheFallbackWindowIsShown) {
    Application app;
    test::FakePrompter prompter;
    TrayCommands commands(app, prompter);  // the real quit
    TrayWindow tray(commands);
    tray.show(false);
    ASSERT_NE(tray.fallbackWindow(), nullptr);
    EXPECT_TRUE(tray.fallbackWindow()->isVisible());
    QTimer::singleShot(0, [&] { commands.run(TrayCommand::Exit); });
    QTimer::singleShot(3000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
}

TEST(TrayWindow, UsersCloseButtonKeepsTheFallbackWindow) {
    QMenu menu;
    FallbackWindow window(&menu);
    window.show();
    // As the window manager's close button delivers it.
    QCloseEvent close;
    QSpontaneKeyEvent::setSpontaneous(&close);
    QCoreApplication::instance()->notify(&window, &close);  // sendEvent would clear the flag
    EXPECT_FALSE(close.isAccepted());
    EXPECT_TRUE(window.isVisible());
}

TEST(TrayCommands, WritingDialogWaitsForTheWriterLockAndOffersToRetry) {
    Fixture f;
    f.app.chartFolder = f.chart;
    int opens = 0;
    bool heldWhileOpen = false;
    f.commands.setOpener(TrayCommand::Update, [&](Application& a, QWidget*) {
        ++opens;
        heldWhileOpen = !WriterLock(a.workDir, "probe").tryAcquire();
    });
    auto other = std::make_unique<WriterLock>(f.app.workDir, "quarlink-cli");
    ASSERT_TRUE(other->tryAcquire());
    // Retry once (still held), then give up.
    f.prompter.answers = {Prompter::Answer::Yes, Prompter::Answer::No};
    EXPECT_EQ(f.commands.run(TrayCommand::Update), TrayRunResult::Declined);
    EXPECT_EQ(opens, 0);
    ASSERT_EQ(f.prompter.questions.size(), 2u);
    EXPECT_NE(f.prompter.questions[0].find("quarlink-cli (pid " + std::to_string(::getpid()) + ")"),
              std::string::npos)
        << f.prompter.questions[0];
    other.reset();
    EXPECT_EQ(f.commands.run(TrayCommand::Update), TrayRunResult::Done);
    EXPECT_EQ(opens, 1);
    EXPECT_TRUE(heldWhileOpen);
    EXPECT_TRUE(WriterLock(f.app.workDir, "probe").tryAcquire());  // released with the dialog
}

// The tray's writers hold the chart folder's lock too: another working folder's writer is in the way.
TEST(TrayCommands, AWriterFromAnotherWorkingFolderOfTheChartFolderIsInTheWay) {
    Fixture f;
    f.app.chartFolder = f.chart;
    test::TempDir otherWork;
    WriterLock other(otherWork.path(), "quarlink-cli", f.chart);
    ASSERT_TRUE(other.tryAcquire());
    f.commands.setOpener(TrayCommand::Update, [](Application&, QWidget*) {});
    const std::function<void()> writers[] = {[&] { f.commands.run(TrayCommand::Update); },
                                             [&] { DataCheckDialog(f.app, nullptr, &f.prompter).startCheck(true); }};
    for (const auto& write : writers) {
        f.prompter.questions.clear();
        write();
        ASSERT_EQ(f.prompter.questions.size(), 1u);
        EXPECT_NE(f.prompter.questions[0].find(otherWork.path().string()), std::string::npos);
    }
}

}  // namespace
}  // namespace quarlink
