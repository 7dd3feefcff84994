#include <QFile>
#include <gtest/gtest.h>

#include <fstream>

#include "gui/shell/single_instance_lock.h"
#include "core/app/startup.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "support/fake_prompter.h"
#include "support/temp_dir.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace quarlink {
namespace {

const std::string kGuard = "Sorvantideフォルダが指定されていません。\n設定⇒Sorvantide関連オプション から設定してください。";
const std::string kMissing = "Sorvantideが指定したフォルダに存在しません。\nオプションを再度確認してください。";

struct StartupFixture : ::testing::Test {
    test::TempDir dir;
    Application app;
    test::FakePrompter prompter;
    std::vector<std::filesystem::path> launched;
    ChartLauncher launcher = [this](const std::filesystem::path& p) { launched.push_back(p); };

    std::filesystem::path chart() const { return dir.path() / "chart"; }
    void SetUp() override {
        app.workDir = dir.path() / "work";
        std::filesystem::create_directories(app.workDir);
        std::filesystem::create_directories(chart());
    }
    void writeOptions(const std::string& text) { ASSERT_TRUE(replaceFileAtomically(layout::optionsFile(app), text)); }
    void makeExecutable() { std::ofstream(chart() / "sorvantide.exe") << "MZ"; }
};

TEST_F(StartupFixture, FirstStartCreatesTheFileThenShowsTheGuard) {
    EXPECT_EQ(runStartup(app, prompter, launcher), StartupResult::ChartFolderNotSet);
    EXPECT_EQ(prompter.messages, (std::vector<std::string>{"初回起動：オプションファイルを作成します。", kGuard}));
    std::string bytes;
    ASSERT_TRUE(readWholeFile(layout::optionsFile(app), bytes));
    EXPECT_EQ(bytes, ",0");
    EXPECT_TRUE(launched.empty());
}

TEST_F(StartupFixture, MissingChartProgramIsReportedAndNothingStarts) {
    writeOptions(chart().string() + ",1\r\n");
    EXPECT_EQ(runStartup(app, prompter, launcher), StartupResult::ChartProgramMissing);
    EXPECT_EQ(prompter.messages, std::vector<std::string>{kMissing});
    EXPECT_TRUE(launched.empty());
}

TEST_F(StartupFixture, ChartProgramStartsOnceOnlyWhenAsked) {
    makeExecutable();
    struct Case {
        const char* flag;
        StartupResult result;
        std::size_t launches;
    };
    for (const Case c : {Case{"1", StartupResult::ChartProgramLaunched, 1}, Case{"0", StartupResult::ChartProgramNotLaunched, 0},
                         Case{"2", StartupResult::ChartProgramNotLaunched, 0}}) {
        launched.clear();
        prompter.messages.clear();
        writeOptions(chart().string() + "," + c.flag + "\r\n");
        EXPECT_EQ(runStartup(app, prompter, launcher), c.result) << c.flag;
        ASSERT_EQ(launched.size(), c.launches) << c.flag;
        if (c.launches) { EXPECT_EQ(launched[0], chart() / "sorvantide.exe"); }
        EXPECT_TRUE(prompter.messages.empty());
    }
}

TEST_F(StartupFixture, TheGuideComesBeforeTheGuardOnlyUntilItWasDoneOrAFolderIsSet) {
    const struct {
        const char* name;
        bool folderSet, marked, guided;
    } cases[] = {
        {"first start", false, false, true},
        {"guide done, folder still empty", false, true, false},
        {"folder set by hand", true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(app.workDir / kFirstStartMark);
        writeOptions(c.folderSet ? chart().string() + ",0\r\n" : ",0");
        if (c.marked) ASSERT_TRUE(markFirstStartGuideDone(app));
        prompter.messages.clear();
        bool guided = false;
        // The guide sets the folder, so the guard has nothing to say afterwards.
        runStartup(app, prompter, launcher, [&] { guided = true, app.chartFolder = chart().string(); });
        EXPECT_EQ(guided, c.guided);
        const bool guarded = std::find(prompter.messages.begin(), prompter.messages.end(), kGuard) != prompter.messages.end();
        EXPECT_EQ(guarded, !c.folderSet && !c.guided);
    }
}

// --- single-instance lock ------------------------------------------------------

struct LockFixture : ::testing::Test {
    test::TempDir dir;
    QString lockPath() const { return QString::fromStdString((dir / "instance.lock").string()); }
};

TEST_F(LockFixture, SecondInstanceIsRefusedWhileTheFirstHoldsTheLock) {
    SingleInstanceLock first(lockPath());
    ASSERT_EQ(first.tryAcquire(), SingleInstanceLock::Result::Acquired);
    SingleInstanceLock second(lockPath());
    EXPECT_EQ(second.tryAcquire(), SingleInstanceLock::Result::HeldByOther);
    first.release();
    EXPECT_EQ(second.tryAcquire(), SingleInstanceLock::Result::Acquired);
}

// A running instance lives for days; an old lock file of a live holder still counts.
TEST_F(LockFixture, OldLockOfALiveInstanceStillRefuses) {
    SingleInstanceLock first(lockPath());
    ASSERT_EQ(first.tryAcquire(), SingleInstanceLock::Result::Acquired);
    const utimbuf dayAgo{time(nullptr) - 86400, time(nullptr) - 86400};
    ASSERT_EQ(utime(lockPath().toLocal8Bit().constData(), &dayAgo), 0);
    SingleInstanceLock second(lockPath());
    EXPECT_EQ(second.tryAcquire(), SingleInstanceLock::Result::HeldByOther);
}

TEST_F(LockFixture, LockOfAKilledInstanceDoesNotBlockANewStart) {
    const QByteArray path = lockPath().toLocal8Bit();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstanceLock held{QString::fromLocal8Bit(path)};
        if (held.tryAcquire() != SingleInstanceLock::Result::Acquired) _exit(3);
        raise(SIGKILL);
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child could not take the lock";
    ASSERT_TRUE(QFile::exists(lockPath()));
    SingleInstanceLock next(lockPath());
    EXPECT_EQ(next.tryAcquire(), SingleInstanceLock::Result::Acquired);
}

}  // namespace
}  // namespace quarlink
