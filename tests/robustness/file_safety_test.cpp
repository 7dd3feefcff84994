// What else may stand in the folders the jobs write: hard-linked snapshots,
// symlinks, FIFOs, devices, folders, huge sparse files and damaged records,
// and a second writer on the same folders.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "robustness/fault_harness.h"
#include "core/store/atomic_file.h"
#include "core/store/price_series.h"
#include "core/store/writer_lock.h"
#include "support/page_server.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace quarlink;
using namespace quarlink::test;

namespace {

// A job holds one file's records at most, never the 6 GB file whole.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryBoundKb = 256 * 1024;  // AddressSanitizer's shadow memory on top
#else
constexpr long kMemoryBoundKb = 64 * 1024;
#endif

constexpr int kCodes[] = {1301, 1308, 1315};

ProcessResult cli(const fs::path& root, std::vector<std::string> args) {
    args.insert(args.begin(), {"--workdir", (root / "work").string()});
    return runMeasured(QUARLINK_CLI_PATH, args, std::chrono::seconds(60));
}

PriceSeries years(int from, int to) {
    PriceSeries s;
    for (int year = from; year <= to; ++year)
        for (int day = 1; day <= 3; ++day) s.append({year * 10000 + 100 + day, 100, 110, 90, 105 + day, 1000, 5, 7});
    return s;
}

// Links every regular file under the folders into root/snap and returns
// their bytes, keyed by the snapshot path.
std::map<fs::path, std::string> linkSnapshot(const fs::path& root, std::initializer_list<const char*> folders) {
    std::map<fs::path, std::string> bytes;
    for (const char* folder : folders)
        for (const auto& e : fs::recursive_directory_iterator(root / folder)) {
            if (!e.is_regular_file()) continue;
            const fs::path snap = root / "snap" / fs::relative(e.path(), root);
            fs::create_directories(snap.parent_path());
            fs::create_hard_link(e.path(), snap);
            bytes[snap] = readFile(snap);
        }
    return bytes;
}

class FileSafety : public ::testing::Test {
protected:
    void setUpChart() {
        writeFile(dir_ / "work" / "Quarlink.conf", (dir_ / "chart").string() + ",0\r\n");
        std::string index = "date=20061205\r\n";
        for (int code : kCodes) {
            index += std::to_string(code) + ",N,T1,100\r\n";
            writeFile(data(code), serializePriceSeries(years(2004, 2006)));
            writeFile(dir_ / "work" / "init" / std::to_string(code), serializePriceSeries(years(2003, 2004)));
        }
        writeFile(dir_ / "chart" / "index.txt", index);
    }
    fs::path data(int code) const { return dir_ / "chart" / "data" / std::to_string(code); }

    TempDir dir_;
};

TEST_F(FileSafety, HardLinkedSnapshotsKeepTheirBytesThroughEveryJob) {
    TempDir marketDir;
    ASSERT_TRUE(generateMarket(marketDir / "market", "--codes 6"));
    PageServer server(marketDir / "market");
    setUpChart();
    const std::string at = "127.0.0.1:" + std::to_string(server.port());
    writeFile(dir_ / "work" / "endpoints.conf", "quote=" + at + "\nhistory=" + at + "\nstock=" + at + "\n");
    for (const auto& args : {std::vector<std::string>{"backup", "--yes"}, {"split", "--yes"}})
        ASSERT_EQ(cli(dir_.path(), args).exitCode, 0);
    const auto before = linkSnapshot(dir_.path(), {"chart/data", "work/backup", "work/sep"});
    ASSERT_FALSE(before.empty());
    const std::vector<std::vector<std::string>> runs = {
        {"backup", "--yes"}, {"restore", "--yes"}, {"supplement", "--init"},
        {"supplement", "--backup", "--overwrite"}, {"split", "--yes"}, {"update"}};
    for (const auto& args : runs) {
        const ProcessResult run = cli(dir_.path(), args);
        EXPECT_EQ(run.exitCode, 0) << args[0] << run.err;
        for (const auto& [snap, bytes] : before) EXPECT_EQ(readFile(snap), bytes) << args[0] << " changed " << snap;
    }
    // The update did write: the day's record is in the live file only.
    EXPECT_GT(fs::file_size(data(1301)), before.at(dir_ / "snap" / "chart" / "data" / "1301").size());
    // A dangling symlink at a code's name is named, not followed.
    fs::remove(data(1315));
    fs::create_symlink(dir_ / "outside", data(1315));
    const ProcessResult run = cli(dir_.path(), {"update"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE((run.out + run.err).find("1315 (" + std::string(file_text::kSymlink) + ")"), std::string::npos)
        << run.out << run.err;
    EXPECT_FALSE(fs::exists(dir_ / "outside"));
}

// Replays a trace of the shim as a power cut at any point would leave the
// disk: content is durable once flushed (its file's F, or an S of the file
// system), and a rename or link may reach the disk before the content it
// publishes. Returns the names that a cut could leave pointing at unflushed
// content, or written in place under a name the user sees.
std::vector<std::string> powerCutFaults(const std::string& trace, const fs::path& watchedRoot) {
    std::set<std::string> dirty;
    std::vector<std::string> faults;
    std::size_t start = 0;
    while (start < trace.size()) {
        const std::size_t end = trace.find('\n', start);
        const std::string line = trace.substr(start, end - start);
        start = end == std::string::npos ? trace.size() : end + 1;
        const std::size_t space = line.find(' ', 2);
        const std::string a = line.substr(2, space == std::string::npos ? std::string::npos : space - 2);
        const std::string b = space == std::string::npos ? std::string() : line.substr(space + 1);
        switch (line[0]) {
        case 'W':
            dirty.insert(a);
            if (!isTemporaryFileName(fs::path(a).filename().string()) && a.rfind(watchedRoot.string(), 0) == 0)
                faults.push_back("written in place: " + a);
            break;
        case 'F': dirty.erase(a); break;
        case 'S': dirty.clear(); break;
        case 'R':
        case 'X':
        case 'L':
            if (dirty.count(a)) faults.push_back(std::string(1, line[0]) + " publishes unflushed content at " + b);
            if (line[0] == 'R') dirty.erase(a);
            break;
        }
    }
    return faults;
}

TEST_F(FileSafety, PowerCutAtAnyPointLeavesEveryFileOldOrNew) {
    setUpChart();
    writeFile(dir_ / "chart" / "data" / "0101", "");  // replaced by the transfer
    const std::vector<std::vector<std::string>> runs = {
        {"backup", "--yes"}, {"restore", "--yes"}, {"supplement", "--init", "--overwrite"},
        {"split", "--yes"}, {"init-transfer"}};
    for (const auto& args : runs) {
        const fs::path traceFile = dir_ / ("trace-" + args[0]);
        std::vector<std::string> all = {"--workdir", (dir_ / "work").string()};
        all.insert(all.end(), args.begin(), args.end());
        const ProcessResult run = runProcess(QUARLINK_CLI_PATH, all,
                                             {{"LD_PRELOAD", QUARLINK_SHIM_PATH},
                                              {"ASAN_OPTIONS", "verify_asan_link_order=0"},
                                              {"QUARLINK_TRACE_FILE", traceFile.string()}});
        ASSERT_EQ(run.exitCode, 0) << args[0] << run.err;
        const std::string trace = readFile(traceFile);
        EXPECT_NE(trace.find("\nR "), std::string::npos) << args[0] << " renamed nothing";
        // The working folder's lock file is written in place by design.
        std::string data;
        for (const auto& f : powerCutFaults(trace, dir_.path()))
            if (f.find(WriterLock::kFileName) == std::string::npos) data += f + "\n";
        EXPECT_TRUE(data.empty()) << args[0] << ":\n" << data;
    }
}

// Odd things at price file names, and a file with a damaged record.
void plantOddFiles(const fs::path& folder, const fs::path& outside) {
    fs::create_directories(folder);
    fs::create_symlink("/dev/zero", folder / "1302");
    fs::create_symlink(outside / "1303", folder / "1303");
    ASSERT_EQ(::mkfifo((folder / "1304").c_str(), 0600), 0);
    fs::create_directories(folder / "1305");
    writeFile(folder / "1306", "");
    ASSERT_EQ(::truncate((folder / "1306").c_str(), 6LL << 30), 0);  // sparse: no disk used
}

// 2004..2006 with an all-0xFF record between the 2005 records.
std::string damagedImage() {
    const std::string good = serializePriceSeries(years(2004, 2006));
    return good.substr(0, 4 * 32) + std::string(32, '\xFF') + good.substr(4 * 32);
}

TEST_F(FileSafety, OddFilesAreSkippedNamedAndNeverFollowedOrRead) {
    setUpChart();
    const fs::path outside = dir_ / "outside";
    fs::create_directories(outside);
    plantOddFiles(dir_ / "chart" / "data", outside);
    plantOddFiles(dir_ / "work" / "init", outside);
    plantOddFiles(dir_ / "work" / "backup", outside);
    writeFile(data(1307), damagedImage());
    writeFile(dir_ / "work" / "init" / "1307", serializePriceSeries(years(2007, 2007)));
    const std::vector<std::vector<std::string>> runs = {
        {"backup", "--yes"}, {"supplement", "--init"}, {"split", "--yes"}, {"init-transfer"}, {"restore", "--yes"}};
    for (const auto& args : runs) {
        const ProcessResult run = cli(dir_.path(), args);
        EXPECT_FALSE(run.killed) << args[0];
        EXPECT_EQ(run.exitCode, 0) << args[0] << run.err;
        EXPECT_LT(run.maxRssKb, kMemoryBoundKb) << args[0];
        for (const char* code : {"1302", "1303", "1304", "1305", "1306"})
            EXPECT_NE((run.out + run.err).find(code), std::string::npos) << args[0] << " does not name " << code;
        EXPECT_TRUE(fs::is_empty(outside)) << args[0] << " wrote through a dangling symlink";
        EXPECT_TRUE(fs::is_symlink(dir_ / "chart" / "data" / "1302"));
        EXPECT_TRUE(fs::is_fifo(dir_ / "chart" / "data" / "1304"));
        if (args[0] == "split") {
            // Every record of the damaged file survived the merge: the 2007
            // row and all the old rows in date order, the damaged record last.
            PriceSeries merged = parseAllRecords(readFile(data(1307)));
            ASSERT_EQ(merged.size(), years(2004, 2007).size() + 1);
            EXPECT_EQ(merged.rows.back().date, -1);
            merged.rows.pop_back();
            EXPECT_EQ(merged.rows, years(2004, 2007).rows);
            // And the split put each of them into some year.
            std::size_t split = 0;
            for (const auto& e : fs::recursive_directory_iterator(dir_ / "work" / "sep"))
                if (e.path().filename() == "1307") split += fs::file_size(e.path()) / 32;
            EXPECT_EQ(split, merged.size() + 1);
        }
    }
}

// A writer holding the lock in another process: the CLI refuses, naming it,
// and goes ahead once the kernel has dropped the dead holder's lock.
TEST_F(FileSafety, OneWriterAtATime) {
    setUpChart();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        WriterLock lock(dir_ / "work", "quarlink");
        const char ok = lock.tryAcquire() ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    for (const auto& args : {std::vector<std::string>{"backup", "--yes"}, {"--wait", "0", "split", "--yes"},
                             {"supplement", "--init"}, {"check", "--repair", "--yes"}, {"import", "1301", "x.csv"}}) {
        const ProcessResult refused = cli(dir_.path(), args);
        EXPECT_EQ(refused.exitCode, 1) << args[0];
        EXPECT_NE(refused.err.find("quarlink (pid " + std::to_string(holder) + ")"), std::string::npos)
            << refused.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "work" / "backup"));
    EXPECT_FALSE(fs::exists(dir_ / "work" / "sep"));
    // Reading needs no lock.
    for (const auto& args : {std::vector<std::string>{"check"}, {"export", "1301"}})
        EXPECT_EQ(cli(dir_.path(), args).exitCode, 0) << args[0];
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    const ProcessResult after = cli(dir_.path(), {"backup", "--yes"});
    EXPECT_EQ(after.exitCode, 0) << after.err;
    EXPECT_EQ(readFile(dir_ / "work" / "backup" / "1301"), readFile(data(1301)));
}

}  // namespace
