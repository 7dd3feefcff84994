// Kills quarlink-cli at random moments during supplement and restore and
// checks that every target file is whole: byte-identical to its old or its
// new content, never a mixture or a truncation.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "core/store/application.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/price_series.h"

extern char** environ;

namespace quarlink {
namespace {

constexpr int kFiles = 200;
constexpr int kKills = 20;

class FileJobsKill : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quarlink-kill-XXXXXX";
        root = ::mkdtemp(pattern);
        app.workDir = root / "work";
        app.chartFolder = (root / "chart").string();
        std::filesystem::create_directories(layout::dataFolder(app));
        std::filesystem::create_directories(app.workDir);
        ASSERT_TRUE(replaceFileAtomically(layout::optionsFile(app), app.chartFolder + ",0"));
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    static std::string prices(int first, int count, int step, int value) {
        PriceSeries s;
        for (int i = 0; i < count; ++i) {
            const int day = first + i * step;
            s.append(PriceRecord{20000101 + (day / 28) * 100 + day % 28, value, value + 1, value - 1, value + i, i, 3, 4});
        }
        return serializePriceSeries(s);
    }
    // Test setup needs no durability; skipping fsync keeps the test short.
    static bool put(const std::filesystem::path& p, const std::string& bytes) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out << bytes;
        return static_cast<bool>(out.flush());
    }
    static std::string read(const std::filesystem::path& p) {
        std::string bytes;
        EXPECT_TRUE(readWholeFile(p, bytes)) << p;
        return bytes;
    }

    // Starts quarlink-cli with `args`; kills it after `delay` unless it ended.
    // Returns true when the run ended on its own.
    bool runAndKill(const std::vector<std::string>& args, std::chrono::microseconds delay) {
        std::vector<std::string> all = {QUARLINK_CLI_PATH, "--workdir", app.workDir.string()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + delay;
        for (;;) {
            if (::waitpid(pid, &status, WNOHANG) == pid) return true;
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) break;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::microseconds(200)));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return false;
    }

    // Times one complete run, so the kills spread over the whole of a run.
    std::chrono::microseconds timeFullRun(const std::vector<std::string>& args) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(runAndKill(args, std::chrono::seconds(60)));
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    }

    void expectOldOrNew(const std::map<int, std::string>& oldBytes, const std::map<int, std::string>& newBytes,
                        int* newCount) {
        for (const auto& [code, before] : oldBytes) {
            const std::string now = read(layout::dataFile(app, code));
            const bool isNew = now == newBytes.at(code);
            EXPECT_TRUE(now == before || isNew) << "code " << code << " is torn (" << now.size() << " bytes)";
            *newCount += isNew;
        }
    }

    void killRepeatedly(const std::vector<std::string>& args, const std::map<int, std::string>& oldBytes,
                        const std::map<int, std::string>& newBytes, const std::function<void()>& reset) {
        std::mt19937 random(20061205);
        // Full runs from the starting state give the span to kill in; the
        // quickest of three, since a run slowed by a busy machine would put
        // most kills after the end.
        auto full = std::chrono::microseconds::max();
        for (int i = 0; i < 3; ++i) {
            full = std::min(full, timeFullRun(args));
            reset();
        }
        std::cout << "[ info ] a full run takes " << full.count() / 1000 << " ms\n";
        std::uniform_int_distribution<long> when(0, full.count());
        int killed = 0;
        for (int i = 0; i < kKills; ++i) {
            if (!runAndKill(args, std::chrono::microseconds(when(random)))) ++killed;
            int newCount = 0;
            expectOldOrNew(oldBytes, newBytes, &newCount);
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GE(killed, kKills / 2) << "most runs should have been killed mid-way";
        ASSERT_TRUE(runAndKill(args, std::chrono::seconds(60)));
        int newCount = 0;
        expectOldOrNew(oldBytes, newBytes, &newCount);
        EXPECT_EQ(newCount, static_cast<int>(oldBytes.size()));
        for (auto& e : std::filesystem::directory_iterator(layout::dataFolder(app)))
            EXPECT_FALSE(isTemporaryFileName(e.path().filename().string())) << e.path();
    }

    std::filesystem::path root;
    Application app;
};

TEST_F(FileJobsKill, SupplementLeavesEveryFileOldOrMerged) {
    std::map<int, std::string> oldBytes, newBytes;
    const auto source = root / "src";
    std::filesystem::create_directories(source);
    for (int i = 0; i < kFiles; ++i) {
        const int code = 1000 + i * 37;
        oldBytes[code] = prices(0, 300, 2, 100 + i);
        ASSERT_TRUE(put(source / layout::codeName(code), prices(1, 300, 2, 500 + i)));
    }
    auto reset = [&] {
        for (const auto& [code, bytes] : oldBytes) ASSERT_TRUE(put(layout::dataFile(app, code), bytes));
    };
    reset();
    for (const auto& [code, bytes] : oldBytes) {
        PriceSeries merged = parsePriceSeries(bytes);
        mergeSeries(merged, parsePriceSeries(read(source / layout::codeName(code))), true);
        newBytes[code] = serializePriceSeries(merged);
        ASSERT_NE(newBytes[code], bytes);
    }
    killRepeatedly({"supplement", "--folder", source.string(), "--overwrite"}, oldBytes, newBytes, reset);
}

TEST_F(FileJobsKill, RestoreLeavesEveryFileOldOrRestored) {
    std::map<int, std::string> oldBytes, newBytes;
    std::filesystem::create_directories(layout::backupFolder(app));
    for (int i = 0; i < kFiles; ++i) {
        const int code = 1000 + i * 37;
        oldBytes[code] = prices(0, 200 + i, 1, 100 + i);
        newBytes[code] = prices(0, 400 - i, 1, 900 + i);
        ASSERT_TRUE(put(layout::backupFile(app, code), newBytes[code]));
    }
    auto reset = [&] {
        for (const auto& [code, bytes] : oldBytes) ASSERT_TRUE(put(layout::dataFile(app, code), bytes));
    };
    reset();
    killRepeatedly({"restore", "--yes"}, oldBytes, newBytes, reset);
}

}  // namespace
}  // namespace quarlink
