// Fetches and reads the Yahoo quote pages of every code of a market from a
// running quarlink-pages; bench/compare_with_curl.sh sets it up and compares
// the time per page with curl's.
//   QUARLINK_BENCH_PORT    the server's port on 127.0.0.1
//   QUARLINK_BENCH_MARKET  the market folder it serves (for the code list)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/env/clock.h"
#include "core/web/html_value_format.h"
#include "core/web/http_client.h"

using namespace quarlink;

namespace {

std::vector<int> marketCodes(const char* folder) {
    std::vector<int> codes;
    if (!folder) return codes;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder) / "data")) {
        const int code = std::atoi(entry.path().filename().c_str());
        if (code >= 1000) codes.push_back(code);
    }
    return codes;
}

void BM_ReadQuotePages(benchmark::State& state) {
    const char* port = std::getenv("QUARLINK_BENCH_PORT");
    const std::vector<int> codes = marketCodes(std::getenv("QUARLINK_BENCH_MARKET"));
    if (!port || codes.empty()) {
        state.SkipWithError("set QUARLINK_BENCH_PORT and QUARLINK_BENCH_MARKET (see compare_with_curl.sh)");
        return;
    }
    Endpoints endpoints;
    endpoints.quote = Endpoint{"127.0.0.1", static_cast<std::uint16_t>(std::atoi(port))};
    HttpClient client(endpoints, systemEnvironment());
    SystemClock clock;
    HtmlValueFormat reader(client, endpoints, clock);
    std::int64_t pages = 0, failures = 0;
    double bestPass = 1e300;  // compared with curl's best run
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int code : codes) {
            std::int32_t v[8];
            const int result = reader.ReadYahooQuote(code, 0, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
            if (result != 1 && result != -1) ++failures;
            ++pages;
        }
        bestPass = std::min(bestPass, std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["best_us_per_page"] = bestPass / static_cast<double>(codes.size());
    
    state.counters["failures"] = static_cast<double>(failures);
    state.counters["pages_per_s"] = benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadQuotePages)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
