// Merging price files: time per record must stay flat as files grow.
// Target and source each hold N records; half of the source's dates are new
// (interleaved), half overlap, and the source is in reverse order.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "core/store/atomic_file.h"
#include "core/store/price_file.h"

using namespace quarlink;

namespace {

std::int32_t dayDate(int i) { return 19900000 + i; }  // only order matters here

PriceSeries makeTarget(int n) {
    PriceSeries s;
    for (int i = 0; i < n; ++i) s.append({dayDate(2 * i), i, i, i, i, i, 0, 0});
    return s;
}

PriceSeries makeSource(int n) {
    PriceSeries s;
    for (int i = n - 1; i >= 0; --i) s.append({dayDate(i), -i, -i, -i, -i, -i, 1, 1});
    return s;
}

std::filesystem::path benchFolder() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "quarlink-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        return std::filesystem::path(pattern);
    }();
    return dir;
}

void BM_MergeSeries(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const PriceSeries target = makeTarget(n), source = makeSource(n);
    for (auto _ : state) {
        PriceSeries t = target;
        mergeSeries(t, source, true);
        benchmark::DoNotOptimize(t.rows.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * n);
}

void BM_MergePriceFile(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto dir = benchFolder();
    const auto target = dir / ("target" + std::to_string(n));
    const auto source = dir / ("source" + std::to_string(n));
    const std::string targetBytes = serializePriceSeries(makeTarget(n));
    replaceFileAtomically(source, serializePriceSeries(makeSource(n)));
    for (auto _ : state) {
        state.PauseTiming();
        replaceFileAtomically(target, targetBytes);
        state.ResumeTiming();
        if (mergePriceFile(target, source, true) != MergeResult::Merged) state.SkipWithError("merge failed");
    }
    state.SetItemsProcessed(state.iterations() * 2 * n);
}

// The exchange sort with a linear search per record, for comparison.
void BM_ExchangeSortMerge(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const PriceSeries target = makeTarget(n), source = makeSource(n);
    for (auto _ : state) {
        PriceSeries t = target;
        for (const auto& r : source.rows) {
            bool found = false;
            for (auto& row : t.rows)
                if (row.date == r.date) {
                    row = r;
                    found = true;
                    break;
                }
            if (!found) t.rows.push_back(r);
        }
        auto& rows = t.rows;
        for (std::size_t k = 0; k + 1 < rows.size(); ++k)
            for (std::size_t i = rows.size() - 1; i > k; --i)
                if (rows[i].date < rows[i - 1].date) std::swap(rows[i], rows[i - 1]);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * n);
}

}  // namespace

BENCHMARK(BM_MergeSeries)->Arg(1 << 10)->Arg(1 << 13)->Arg(1 << 16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MergePriceFile)->Arg(1 << 10)->Arg(1 << 13)->Arg(1 << 16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExchangeSortMerge)->Arg(1 << 10)->Arg(1 << 13)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(benchFolder(), ec);
    return 0;
}
