#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/store/folder_layout.h"
#include "core/store/options.h"
#include "support/fake_prompter.h"
#include "support/temp_dir.h"

using namespace quarlink;
using quarlink::test::FakePrompter;
using quarlink::test::readFile;
using quarlink::test::TempDir;
using quarlink::test::writeFile;

TEST(Options, ParseLine) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string folder;
        int launch;
    };
    const Case cases[] = {
        {"CR LF", "/home/u/chart,1\r\n", "/home/u/chart", 1},
        {"first start form", ",0", "", 0},
        {"no comma", "/home/u/chart\r\n", "/home/u/chart", 0},
        {"flag without digits", "/c,x1", "/c", 0},
        {"second comma ends the flag", "/c,12,7", "/c", 12},
        {"flag with blank", "/c, 1", "/c", 0},
        {"empty file", "", "", 0},
        {"only the first line", "/a,1\r\n/b,0\r\n", "/a", 1},
        {"NUL ends the line", std::string("/a\0b,1", 6), "/a", 0},
        {"huge flag saturates", "/c,99999999999999999999", "/c", 2147483647},
    };
    for (const auto& c : cases) {
        Application app;
        app.launchChart = 5;
        parseOptions(c.bytes, app);
        EXPECT_EQ(app.chartFolder, c.folder) << c.name;
        EXPECT_EQ(app.launchChart, c.launch) << c.name;
    }
}

TEST(Options, ALongLineIsCutAt255Bytes) {
    Application app;
    parseOptions(std::string(300, 'a') + ",1\r\n", app);
    EXPECT_EQ(app.chartFolder, std::string(255, 'a'));
    EXPECT_EQ(app.launchChart, 0);
}

TEST(Options, FirstStartCreatesTheTwoByteFile) {
    TempDir dir;
    Application app;
    app.workDir = dir.path();
    FakePrompter prompter;
    EXPECT_EQ(loadOptions(app, prompter), LoadOptionsResult::FirstStart);
    EXPECT_EQ(prompter.messages, std::vector<std::string>{options_text::kFirstStart});
    EXPECT_EQ(readFile(dir / "Quarlink.conf"), ",0");

    FakePrompter again;
    EXPECT_EQ(loadOptions(app, again), LoadOptionsResult::Loaded);
    EXPECT_TRUE(again.messages.empty());
}

TEST(Options, FirstStartInAFolderThatCannotBeWritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    TempDir dir;
    Application app;
    app.workDir = dir.path();
    ::chmod(dir.path().c_str(), 0500);
    FakePrompter prompter;
    EXPECT_EQ(loadOptions(app, prompter), LoadOptionsResult::FirstStartNotSaved);
    EXPECT_EQ(prompter.messages, (std::vector<std::string>{options_text::kFirstStart, options_text::kCreateFailed}));
    ::chmod(dir.path().c_str(), 0700);
}

TEST(Options, SaveTrimsAndWritesForwardSlashes) {
    struct Case {
        const char* name;
        std::string input;
        bool launch;
        std::string file;
        std::string memory;
    };
    const Case cases[] = {
        {"blanks around", " /home/u/chart \t", false, "/home/u/chart,0\r\n", "/home/u/chart"},
        {"backslashes", "C:\\chart", true, "C:/chart,1\r\n", "C:/chart"},
        {"trailing separator", "/home/u/chart/", true, "/home/u/chart,1\r\n", "/home/u/chart"},
        {"UTF-8 name before a blank", "/home/u/\xE3\x81\x82 ", false, "/home/u/\xE3\x81\x82,0\r\n", "/home/u/\xE3\x81\x82"},
        {"empty", "  ", false, ",0\r\n", ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        Application app;
        app.workDir = dir.path();
        FakePrompter prompter;
        EXPECT_TRUE(saveOptions(app, c.input, c.launch, prompter)) << c.name;
        EXPECT_EQ(readFile(dir / "Quarlink.conf"), c.file) << c.name;
        EXPECT_EQ(app.chartFolder, c.memory) << c.name;
        EXPECT_EQ(app.launchChart, c.launch ? 1 : 0) << c.name;
        Application loaded;
        loaded.workDir = dir.path();
        EXPECT_EQ(loadOptions(loaded, prompter), LoadOptionsResult::Loaded);
        EXPECT_EQ(loaded.chartFolder, c.memory) << c.name;
        EXPECT_TRUE(prompter.messages.empty()) << c.name;
    }
}

TEST(Options, SaveFailureKeepsSettingsInMemoryAndTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    TempDir dir;
    writeFile(dir / "Quarlink.conf", "/old,1\r\n");
    Application app;
    app.workDir = dir.path();
    ::chmod(dir.path().c_str(), 0500);
    FakePrompter prompter;
    EXPECT_FALSE(saveOptions(app, "/new", false, prompter));
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(prompter.messages, std::vector<std::string>{options_text::kSaveFailed});
    EXPECT_EQ(app.chartFolder, "/new");
    EXPECT_EQ(readFile(dir / "Quarlink.conf"), "/old,1\r\n");
}

TEST(FolderLayout, EveryPathFromOnePlace) {
    Application app;
    app.chartFolder = "/c";
    app.workDir = "/w";
    EXPECT_EQ(layout::dataFile(app, 101), "/c/data/0101");
    EXPECT_EQ(layout::dataFile(app, 7203), "/c/data/7203");
    EXPECT_EQ(layout::indexFile(app), "/c/index.txt");
    EXPECT_EQ(layout::chartExecutable(app), "/c/sorvantide.exe");
    EXPECT_EQ(layout::extensionFolder(app), "/c/extension");
    EXPECT_EQ(layout::optionsFile(app), "/w/Quarlink.conf");
    EXPECT_EQ(layout::initFile(app, 102), "/w/init/0102");
    EXPECT_EQ(layout::backupFile(app, 1301), "/w/backup/1301");
    EXPECT_EQ(layout::sepFile(app, 2006, 1301), "/w/sep/2006/1301");
    EXPECT_EQ(layout::portfolioListFile(app), "/w/user/plist.csv");
    EXPECT_EQ(layout::buyFile(app, "user/3"), "/w/user/3_buy.csv");
    EXPECT_EQ(layout::sellFile(app, "user/3"), "/w/user/3_sell.csv");
    EXPECT_EQ(layout::reportFile(app, "3", "a", "b"), "/w/html/p3_a(b).html");
    EXPECT_EQ(layout::indexDownloadFile(app), "/w/index");
}

TEST(FolderLayout, DefaultWorkDirFollowsXdg) {
    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    const std::string saved = oldXdg ? oldXdg : "";
    ::setenv("XDG_DATA_HOME", "/x/data", 1);
    EXPECT_EQ(defaultWorkDir(), "/x/data/quarlink");
    ::unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (home) { EXPECT_EQ(defaultWorkDir(), std::filesystem::path(home) / ".local/share/quarlink"); }
    if (oldXdg) ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
}
