// Calendar alignment of one code's history, at 1x, 4x and 16x a ten-year
// calendar (2,450 trading days): the time per calendar row must stay flat.
// The code misses every seventh day and starts a tenth into the calendar, so
// fillers and carried balances are exercised.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/jobs/init_data_job.h"

using namespace quarlink;

namespace {

void BM_AlignToCalendar(benchmark::State& state) {
    const auto days = static_cast<std::size_t>(state.range(0));
    std::vector<std::int32_t> calendar;
    calendar.reserve(days);
    for (std::size_t i = 0; i < days; ++i) calendar.push_back(static_cast<std::int32_t>(19000101 + i));
    std::vector<std::int32_t> dates, opens, highs, lows, closes, volumes, buys, sells;
    for (std::size_t i = days / 10; i < days; ++i) {
        if (i % 7 == 3) continue;
        const auto v = static_cast<std::int32_t>(100 + i % 50);
        dates.push_back(calendar[i]);
        opens.push_back(v);
        highs.push_back(v + 5);
        lows.push_back(v - 5);
        closes.push_back(v + 1);
        volumes.push_back(1000);
        buys.push_back(i % 5 == 0 ? 5000 : 0);
        sells.push_back(i % 5 == 0 ? 2000 : 0);
    }
    for (auto _ : state) {
        PriceSeries rows = alignToCalendar(calendar, dates, opens, highs, lows, closes, volumes, buys, sells);
        benchmark::DoNotOptimize(rows.rows.data());
    }
    state.counters["s_per_row"] = benchmark::Counter(
        static_cast<double>(days), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AlignToCalendar)->Arg(2450)->Arg(4 * 2450)->Arg(16 * 2450)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
