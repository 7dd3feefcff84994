// Parsing one day's bars of the whole market (about 4,400 rows, one page as
// the API sends it): the client's simdjson reader against nlohmann-json doing
// the same extraction. Decided which parser the J-Quants client uses. Also
// the memory a large page takes to parse, beyond the page itself.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "core/web/jquants/jquants_json.h"

namespace {

using namespace quarlink::jquants;

std::string dayPage(int rows, int codes = 1 << 30) {
    std::string page = "{\"data\":[";
    char row[640];
    for (int i = 0; i < rows; ++i) {
        const int code = 1301 + i % codes * 2;
        const double close = 500 + (i * 37) % 9000 + (i % 4) * 0.5;
        if (i % 97 == 5) {
            std::snprintf(row, sizeof row,
                          R"(%s{"Date":"2026-01-09","Code":"%d0","O":null,"H":null,"L":null,"C":null,"UL":"0","LL":"0",)"
                          R"("Vo":null,"Va":null,"AdjFactor":1.0,"AdjO":null,"AdjH":null,"AdjL":null,"AdjC":null,"AdjVo":null})",
                          i ? "," : "", code);
        } else {
            std::snprintf(row, sizeof row,
                          R"(%s{"Date":"2026-01-09","Code":"%d0","O":%.1f,"H":%.1f,"L":%.1f,"C":%.1f,"UL":"0","LL":"0",)"
                          R"("Vo":%d.0,"Va":%.1f,"AdjFactor":1.0,"AdjO":%.1f,"AdjH":%.1f,"AdjL":%.1f,"AdjC":%.1f,)"
                          R"("AdjVo":%d.0,"MktCap":123456.0,"ExRT":null})",
                          i ? "," : "", code, close - 3, close + 5, close - 7, close, 1000 + i * 13, close * (1000 + i * 13),
                          close - 3, close + 5, close - 7, close, 1000 + i * 13);
        }
        page += row;
    }
    return page + "],\"pagination_key\":\"value1.value2.\"}";
}

const std::string& page() {
    static const std::string text = dayPage(4400);
    return text;
}

void Simdjson(benchmark::State& state) {
    for (auto _ : state) {
        DailyBars bars;
        std::string next;
        benchmark::DoNotOptimize(parseDailyBarsPage(page(), bars, next));
        benchmark::DoNotOptimize(bars.rows.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
}
BENCHMARK(Simdjson);

void NlohmannJson(benchmark::State& state) {
    for (auto _ : state) {
        DailyBars bars;
        const auto document = nlohmann::json::parse(page(), nullptr, false);
        for (const auto& row : document.at("data")) {
            const auto field = [&](const char* key) -> const nlohmann::json* {
                const auto it = row.find(key);
                return it == row.end() ? nullptr : &*it;
            };
            const auto* date = field("Date");
            const auto* code = field("Code");
            if (!date || !code || !date->is_string() || !code->is_string()) continue;
            DailyBar bar;
            bar.date = parseDate(date->get_ref<const std::string&>());
            bar.code = stockCodeOf(code->get_ref<const std::string&>());
            const auto* o = field("O");
            if (o && o->is_number()) {
                bar.traded = true;
                bar.open = o->get<double>();
                bar.high = field("H")->get<double>();
                bar.low = field("L")->get<double>();
                bar.close = field("C")->get<double>();
                bar.volume = field("Vo")->get<double>();
            }
            bars.rows.push_back(bar);
        }
        benchmark::DoNotOptimize(bars.rows.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
}
BENCHMARK(NlohmannJson);

long statusKb(const char* name) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(name, 0) == 0) return std::stol(line.substr(std::strlen(name)));
    return -1;
}

// A page far larger than any the API sends (190,000 rows, about 48 MB, every
// row a stock's): the peak resident memory while it is parsed into rows,
// over the page's size. The page itself is resident before and not counted.
// Meaningful once per process: --benchmark_filter=PeakMemory, no repetitions.
void PeakMemoryOfALargePage(benchmark::State& state) {
    const std::string big = dayPage(190'000, 4300);
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = statusKb("VmRSS:");
        DailyBars bars;
        std::string next;
        benchmark::DoNotOptimize(parseDailyBarsPage(big, bars, next));
        state.counters["page_MB"] = double(big.size()) / (1 << 20);
        state.counters["peak_over_page"] = double(statusKb("VmHWM:") - before) * 1024 / double(big.size());
    }
}
BENCHMARK(PeakMemoryOfALargePage)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
