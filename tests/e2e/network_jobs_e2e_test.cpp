// quarlink-cli's network jobs against quarlink-pages on a loopback port,
// with fault runs resumed until every file equals a run without faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/page_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using quarlink::test::readFile;
using CliRun = quarlink::test::ProcessResult;

// quarlink-cli in the working folder; `args` are separated by blanks.
CliRun runCli(const fs::path& work, const std::string& args) {
    std::vector<std::string> argv{"--workdir", work.string()};
    std::istringstream words(args);
    for (std::string w; words >> w;) argv.push_back(w);
    return quarlink::test::runProcess(QUARLINK_CLI_PATH, argv);
}

using quarlink::test::PageServer;
// Runs quarlink-cli with standard output on a terminal; returns what the
// terminal received.
CliRun runCliOnTerminal(const fs::path& work, const std::string& args) {
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return {};
    if (pid == 0) {
        const std::string cmd = std::string("exec ") + QUARLINK_CLI_PATH + " --workdir " + work.string() + " " + args;
        ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    CliRun r;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) r.out.append(buffer, static_cast<std::size_t>(n));
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::map<std::string, std::string> folderBytes(const fs::path& dir) {
    std::map<std::string, std::string> files;
    if (!fs::exists(dir)) return files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = readFile(e.path());
    return files;
}

class NetworkJobs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char name[] = "/tmp/quarlink-e2e-XXXXXX";
        root_ = ::mkdtemp(name);
        const std::string cmd = std::string(QUARLINK_PAGES_PATH) + " generate " + (root_ / "market").string() +
                                " --codes 12 >/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    static void TearDownTestSuite() { fs::remove_all(root_); }

    // A working folder whose chart folder holds the market's price files
    // (minus the last record of each, so the update has a day to store) and
    // its index.txt, 0101 and 0102 included.
    fs::path makeWork(const std::string& name, int port, bool seedData = true) {
        const fs::path work = root_ / name;
        fs::create_directories(work / "chart" / "data");
        std::ofstream(work / "endpoints.conf") << "quote=127.0.0.1:" << port << "\nhistory=127.0.0.1:" << port
                                               << "\nstock=127.0.0.1:" << port << "\nindex=127.0.0.1:" << port
                                               << "\nretry_wait_ms=0\n";
        std::ofstream(work / "Quarlink.conf") << (work / "chart").string() << ",0\r\n";
        fs::copy_file(root_ / "market" / "index.txt", work / "chart" / "index.txt");
        if (seedData)
            for (const auto& e : fs::directory_iterator(root_ / "market" / "data")) {
                std::string bytes = readFile(e.path());
                bytes.resize(bytes.size() >= 32 ? bytes.size() - 32 : 0);
                std::ofstream(work / "chart" / "data" / e.path().filename(), std::ios::binary) << bytes;
            }
        return work;
    }
    void setPort(const fs::path& work, int port) {
        std::ofstream(work / "endpoints.conf") << "quote=127.0.0.1:" << port << "\nhistory=127.0.0.1:" << port
                                               << "\nstock=127.0.0.1:" << port << "\nindex=127.0.0.1:" << port
                                               << "\nretry_wait_ms=0\n";
    }
    static int resumeCode(const CliRun& r) {
        const auto at = r.out.rfind("--resume-from ");
        return at == std::string::npos ? -1 : std::atoi(r.out.c_str() + at + 14);
    }

    static inline fs::path root_;
};

}  // namespace

TEST_F(NetworkJobs, RefusesWithoutAChartFolder) {
    const fs::path work = root_ / "unset";
    fs::create_directories(work);
    for (const char* cmd : {"update", "margin-fill", "init-create", "init-transfer", "init-delete", "index-update"}) {
        const CliRun r = runCli(work, cmd);
        EXPECT_EQ(r.exitCode, 1) << cmd;
        EXPECT_NE(r.err.find("Sorvantideフォルダが指定されていません。"), std::string::npos) << cmd;
    }
}

TEST_F(NetworkJobs, UpdateAndMarginFillSurviveDroppedConnectionsAndAVanishedServer) {
    PageServer clean(root_ / "market", "");
    ASSERT_NE(clean.port(), 0);
    const fs::path reference = makeWork("update-clean", clean.port());
    ASSERT_EQ(runCli(reference, "update --nikkei").exitCode, 0);
    ASSERT_EQ(runCli(reference, "margin-fill").exitCode, 0);
    // The stored day is the market's last one, as the page server has it.
    const auto refFiles = folderBytes(reference / "chart" / "data");
    EXPECT_EQ(refFiles.at("0101"), readFile(root_ / "market" / "data" / "0101"));

    // Dropped connections: each stop is an unrecognised page (exit 3), resumed.
    PageServer flaky(root_ / "market", "--fail-every 4");
    const fs::path work = makeWork("update-flaky", flaky.port());
    for (const char* cmd : {"update --nikkei", "margin-fill"}) {
        CliRun r = runCli(work, cmd);
        int stops = 0;
        while (r.exitCode == 3 && ++stops < 50) {
            ASSERT_GE(resumeCode(r), 0) << r.out;
            r = runCli(work, std::string(cmd) + " --resume-from " + std::to_string(resumeCode(r)));
        }
        EXPECT_EQ(r.exitCode, 0) << cmd << r.out << r.err;
        EXPECT_GT(stops, 0) << cmd;
    }
    EXPECT_EQ(folderBytes(work / "chart" / "data"), refFiles);

    // The server goes away: a connection failure (exit 2), resumed against a new one.
    const fs::path gone = makeWork("update-gone", clean.port());
    PageServer shortLived(root_ / "market", "");
    setPort(gone, shortLived.port());
    shortLived.stop();
    CliRun r = runCli(gone, "update --nikkei");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("接続が切断されました。更新ボタンで続きから取得できます。"), std::string::npos);
    EXPECT_EQ(resumeCode(r), 101);
    setPort(gone, clean.port());
    ASSERT_EQ(runCli(gone, "update --nikkei --resume-from " + std::to_string(resumeCode(r))).exitCode, 0);
    ASSERT_EQ(runCli(gone, "margin-fill").exitCode, 0);
    EXPECT_EQ(folderBytes(gone / "chart" / "data"), refFiles);
}

TEST_F(NetworkJobs, InitialDataResumesAfterFaultsAndTransfers) {
    PageServer clean(root_ / "market", "");
    const fs::path reference = makeWork("init-clean", clean.port(), false);
    const CliRun first = runCli(reference, "init-create --nikkei --topix --start-year 2025");
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const auto refInit = folderBytes(reference / "init");
    EXPECT_EQ(refInit.size(), 14u);  // 12 codes, Nikkei and TOPIX

    // Every start reads the index histories again (24 pages here), so the
    // faults must leave room for a start and some codes between them.
    PageServer flaky(root_ / "market", "--fail-every 499");
    const fs::path work = makeWork("init-flaky", flaky.port(), false);
    CliRun r = runCli(work, "init-create --nikkei --topix --start-year 2025");
    int stops = 0;
    while (r.exitCode == 3 && ++stops < 200)
        r = runCli(work, "init-create --nikkei --topix --start-year 2025 --resume-from " + std::to_string(resumeCode(r)));
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_GT(stops, 0);
    EXPECT_EQ(folderBytes(work / "init"), refInit);

    const CliRun transfer = runCli(work, "init-transfer");
    EXPECT_EQ(transfer.exitCode, 0);
    EXPECT_NE(transfer.out.find("データ転送終了。"), std::string::npos);
    EXPECT_EQ(folderBytes(work / "chart" / "data"), refInit);
    EXPECT_EQ(runCli(work, "init-delete").exitCode, 0);
    EXPECT_TRUE(fs::is_empty(work / "init"));
}

TEST_F(NetworkJobs, IndexUpdateListsAndApplies) {
    PageServer clean(root_ / "market", "");
    const fs::path work = makeWork("index", clean.port(), false);
    std::ofstream(work / "chart" / "index.txt", std::ios::binary) << "date=20000101\r\n9998,GONE,T1,100\r\n";
    CliRun r = runCli(work, "index-update");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("9998\t9998,GONE,T1,100\t\n"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(work / "chart" / "index.txt"), "date=20000101\r\n9998,GONE,T1,100\r\n");

    r = runCli(work, "index-update --apply");  // no terminal, no --yes: the answer is No
    EXPECT_EQ(r.exitCode, 1);
    r = runCli(work, "index-update --remove-unregistered 9998 --apply --yes");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string published = readFile(root_ / "market" / "index.txt");
    std::string written = readFile(work / "chart" / "index.txt");
    EXPECT_EQ(written, published);
}

TEST_F(NetworkJobs, OnATerminalTheStatusLinesBecomeOneProgressLine) {
    PageServer clean(root_ / "market", "");
    const fs::path piped = makeWork("terminal-piped", clean.port());
    const CliRun lines = runCli(piped, "update --nikkei");
    ASSERT_EQ(lines.exitCode, 0) << lines.err;
    EXPECT_GT(std::count(lines.out.begin(), lines.out.end(), '\n'), 5) << "one line per status without a terminal";

    PageServer slow(root_ / "market", "--delay-ms 40");  // lets the line be redrawn
    const fs::path work = makeWork("terminal", slow.port());
    const CliRun r = runCliOnTerminal(work, "update --nikkei");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\r\033[K日々のデータ更新中："), std::string::npos) << r.out;
    const std::string finished = "日々のデータ更新終了！キャンセルボタンで終了してください。";
    EXPECT_EQ(r.out.rfind("\r\033[K" + finished + "\r\n"), r.out.size() - finished.size() - 6) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_EQ(folderBytes(work / "chart" / "data"), folderBytes(piped / "chart" / "data"));
}

// What the systemd service runs: the settings of schedule.conf (here the
// Nikkei average too), and once per scheduled time.
TEST_F(NetworkJobs, ScheduledUpdateTakesTheSettingsOfScheduleConf) {
    PageServer clean(root_ / "market", "");
    const fs::path reference = makeWork("scheduled-reference", clean.port());
    ASSERT_EQ(runCli(reference, "update --nikkei").exitCode, 0);
    const fs::path work = makeWork("scheduled", clean.port());
    std::ofstream(work / "schedule.conf") << "time=00:00\nsource=infoseek\nnikkei=1\n";
    CliRun r = runCli(work, "update --scheduled");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(folderBytes(work / "chart" / "data"), folderBytes(reference / "chart" / "data"));
    r = runCli(work, "update --scheduled");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("実行済み"), std::string::npos) << r.out;
}
