// The file jobs against `cp -r` followed by `sync` on a generated market,
// and the split also against copying its own output tree (about 30 files per
// code, its fair bound). QUARLINK_BENCH_FILES (default 4000) and
// QUARLINK_BENCH_RECORDS (default 7500) set its size; the default is about
// 1 GB. A 6 GB sparse file stands in the data folder while the jobs run, to
// show that peak memory stays bounded. Prints ratios and peak memory, then
// RESULT lines for bench/run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "core/health/data_check_job.h"
#include "core/health/price_csv.h"
#include "core/jobs/backup_job.h"
#include "core/jobs/supplement_job.h"
#include "core/jobs/year_split_job.h"
#include "core/store/folder_layout.h"
#include "core/store/price_series.h"
#include "support/fake_clock.h"

using namespace quarlink;

namespace {

int envInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

std::filesystem::path g_root;
Application g_app;
std::map<std::string, double> g_seconds;

void generate(int files, int records) {
    char pattern[] = "/tmp/quarlink-bench-XXXXXX";
    g_root = ::mkdtemp(pattern);
    g_app.workDir = g_root / "work";
    g_app.chartFolder = (g_root / "chart").string();
    std::filesystem::create_directories(layout::dataFolder(g_app));
    std::filesystem::create_directories(layout::initFolder(g_app));
    for (int i = 0; i < files; ++i) {
        const int code = 1000 + i * 9000 / files;
        PriceSeries s, half;
        for (int r = 0; r < records; ++r) {
            // 250 trading days a year, 21 a month, in date order like real files.
            const int date = (1980 + r / 250) * 10000 + (r % 250 / 21 + 1) * 100 + r % 250 % 21 + 1;
            const PriceRecord rec{date, 100 + r, 110 + r, 90 + r, 105 + r, 1000 * r, r, r / 2};
            s.append(rec);
            if (r % 2 == 0) half.append(rec);
        }
        std::ofstream(layout::dataFile(g_app, code), std::ios::binary) << serializePriceSeries(s);
        // The supplement source holds every other day, so each merge has work.
        std::ofstream(layout::initFile(g_app, code), std::ios::binary) << serializePriceSeries(half);
    }
    ::sync();
}

template <typename Job>
void runJob(Job& job) {
    JobOutcome o = job.start();
    while (o.state == JobState::Running) o = job.tick();
}

void timed(benchmark::State& state, const char* name, const std::function<void()>& body) {
    for (auto _ : state) {
        // Nothing written by the step before may be flushed on this step's clock.
        ::sync();
        const auto start = std::chrono::steady_clock::now();
        body();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(s);
        g_seconds[name] = s;
    }
}

// `cp -r` of a folder and `sync`, timed under `name`.
void timedCopy(benchmark::State& state, const char* name, const std::filesystem::path& folder) {
    timed(state, name, [&] {
        const auto target = g_root / (std::string(name) + "-copy");
        std::filesystem::remove_all(target);
        const std::string command = "cp -r '" + folder.string() + "' '" + target.string() + "' && sync";
        if (std::system(command.c_str()) != 0) std::abort();
    });
}

void BM_CopyBaseline(benchmark::State& state) { timedCopy(state, "baseline", layout::dataFolder(g_app)); }

// The read bound of the data check and the export: `cat data/*`. The
// Nikkei average's file (the check's calendar) and index.txt come first.
void BM_CatBaseline(benchmark::State& state) {
    const auto first = layout::dataFile(g_app, 1000);
    std::filesystem::copy_file(first, layout::dataFile(g_app, 101), std::filesystem::copy_options::overwrite_existing);
    std::string index = "date=20091231\r\n";
    for (const auto& e : std::filesystem::directory_iterator(layout::dataFolder(g_app)))
        index += e.path().filename().string() + ",N,T1,100\r\n";
    std::ofstream(layout::indexFile(g_app), std::ios::binary) << index;
    timed(state, "cat", [] {
        const std::string command = "cat '" + layout::dataFolder(g_app).string() + "'/* >/dev/null";
        if (std::system(command.c_str()) != 0) std::abort();
    });
}

void BM_Check(benchmark::State& state) {
    timed(state, "check", [] {
        const FixedClock clock(LocalDateTime{2024, 1, 1});
        DataCheckJob job(g_app, clock);
        job.open();
        runJob(job);
        if (job.remaining() != 0) std::abort();  // the market is clean
    });
}

void BM_Export(benchmark::State& state) {
    timed(state, "export", [] {
        std::vector<int> codes;
        for (const auto& e : std::filesystem::directory_iterator(layout::dataFolder(g_app)))
            codes.push_back(std::stoi(e.path().filename().string()));
        const auto out = g_root / "csv";
        std::filesystem::create_directories(out);
        if (!exportPriceCsvFolder(layout::dataFolder(g_app), codes, 0, 0, out).failures.empty()) std::abort();
    });
    std::filesystem::remove_all(g_root / "csv");
}

// Jobs skip it, without reading it; after the baseline so cp need not copy it.
void plantHugeFile() {
    const auto path = layout::dataFile(g_app, 999);
    std::ofstream(path, std::ios::binary).flush();
    std::filesystem::resize_file(path, 6ULL << 30);
}

void BM_Backup(benchmark::State& state) {
    plantHugeFile();
    timed(state, "backup", [] {
        BackupJob job(g_app, BackupJob::Direction::Backup);
        runJob(job);
    });
}

void BM_Restore(benchmark::State& state) {
    timed(state, "restore", [] {
        BackupJob job(g_app, BackupJob::Direction::Restore);
        runJob(job);
    });
}

void BM_Split(benchmark::State& state) {
    timed(state, "split", [] {
        YearSplitJob job(g_app);
        runJob(job);
    });
}

void BM_SplitTreeCopy(benchmark::State& state) { timedCopy(state, "split-tree", layout::sepFolder(g_app)); }

void BM_Supplement(benchmark::State& state) {
    timed(state, "supplement", [] {
        SupplementJob job(g_app);
        job.open();
        job.settings.sourceKind = SupplementJob::SourceKind::Init;
        runJob(job);
    });
}

}  // namespace

BENCHMARK(BM_CopyBaseline)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CatBaseline)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Check)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Backup)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Restore)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Split)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitTreeCopy)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Supplement)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    const int files = envInt("QUARLINK_BENCH_FILES", 4000);
    const int records = envInt("QUARLINK_BENCH_RECORDS", 7500);
    std::printf("market: %d files of %d records (%.1f MB)\n", files, records, files * records * 32.0 / 1e6);
    generate(files, records);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double base = g_seconds["baseline"];
    const struct { const char* name; double goal; } goals[] = {
        {"backup", 1.3}, {"restore", 1.3}, {"split", 0}, {"supplement", 2.0}};
    for (const auto& g : goals)
        if (g_seconds.count(g.name) && base > 0)
            std::printf("%-10s %8.2f s  ratio %.2f (goal %s)\n", g.name, g_seconds[g.name],
                        g_seconds[g.name] / base, g.goal > 0 ? std::to_string(g.goal).substr(0, 3).c_str() : "-");
    const double tree = g_seconds["split-tree"];
    if (tree > 0 && g_seconds.count("split"))
        std::printf("%-10s %8.2f s  ratio %.2f against copying its output tree (%.2f s; goal 1.5)\n", "split",
                    g_seconds["split"], g_seconds["split"] / tree, tree);
    const double cat = g_seconds["cat"];
    const struct { const char* name; double goal; } readGoals[] = {{"check", 1.5}, {"export", 3.0}};
    for (const auto& g : readGoals)
        if (g_seconds.count(g.name) && cat > 0)
            std::printf("%-10s %8.2f s  ratio %.2f against cat data/* >/dev/null (%.2f s; goal %.1f)\n", g.name,
                        g_seconds[g.name], g_seconds[g.name] / cat, cat, g.goal);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    const double megabytes = files * records * 32.0 / 1e6;
    for (const auto& g : goals)
        if (g_seconds.count(g.name) && base > 0)
            std::printf("RESULT file_%s %.2f s %.2f %.2f %ld %s of %d files, %.0f MB ; cp -r + sync of the data folder\n",
                        g.name, g_seconds[g.name], base, g_seconds[g.name] / base, usage.ru_maxrss, g.name, files,
                        megabytes);
    if (tree > 0 && g_seconds.count("split"))
        std::printf("RESULT file_split_tree %.2f s %.2f %.2f %ld split of %d files, %.0f MB ; cp -r + sync of the "
                    "split's output tree\n",
                    g_seconds["split"], tree, g_seconds["split"] / tree, usage.ru_maxrss, files, megabytes);
    for (const auto& g : readGoals)
        if (g_seconds.count(g.name) && cat > 0)
            std::printf("RESULT file_%s %.2f s %.2f %.2f %ld %s of %d files, %.0f MB ; cat data/* >/dev/null\n", g.name,
                        g_seconds[g.name], cat, g_seconds[g.name] / cat, usage.ru_maxrss, g.name, files, megabytes);
    std::filesystem::remove_all(g_root);
}
