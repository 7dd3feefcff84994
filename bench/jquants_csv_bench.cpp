// Reading a bulk file of a month of the whole market (about 90,000 bar rows,
// 6 MB of CSV) as it streams: the CSV reader alone, fed the 64 KB pieces the
// inflater hands it, and gzip and CSV together, fed as the network does.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <zlib.h>

#include "core/web/jquants/bulk_download.h"

namespace {

using namespace quarlink::jquants;

constexpr int kDays = 21, kCodes = 4300;

const std::string& monthCsv() {
    static const std::string text = [] {
        std::string csv = "Date,Code,O,H,L,C,UL,LL,Vo,Va,AdjFactor\n";
        char row[160];
        for (int day = 1; day <= kDays; ++day)
            for (int i = 0; i < kCodes; ++i) {
                const int code = 1301 + i * 2;
                const double close = 500 + (i * 37) % 9000 + (i % 4) * 0.5;
                if (i % 97 == 5)
                    std::snprintf(row, sizeof row, "2025-01-%02d,%d0,,,,,0,0,,,1.0\n", day, code);
                else
                    std::snprintf(row, sizeof row, "2025-01-%02d,%d0,%.1f,%.1f,%.1f,%.1f,0,0,%d.0,%.1f,1.0\n", day, code,
                                  close - 3, close + 5, close - 7, close, 1000 + i * 13, close * (1000 + i * 13));
                csv += row;
            }
        return csv;
    }();
    return text;
}

const std::string& monthGzip() {
    static const std::string packed = [] {
        const std::string& text = monthCsv();
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        std::string out(deflateBound(&z, text.size()), '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        z.avail_in = static_cast<uInt>(text.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_FINISH);
        out.resize(z.total_out);
        deflateEnd(&z);
        return out;
    }();
    return packed;
}

// Rows handed over a batch at a time, as a caller that stores them as they come.
RowSink<DailyBar> counting(std::size_t& rows) {
    return {[&rows] { rows = 0; }, [&rows](std::vector<DailyBar>& batch) { rows += batch.size(); }};
}

void CsvRows(benchmark::State& state) {
    const std::string_view text = monthCsv();
    std::size_t rows = 0;
    for (auto _ : state) {
        quarlink::jquants::CsvRows<DailyBar> reader(counting(rows));
        reader.start("bench");
        for (std::size_t at = 0; at < text.size(); at += GzipText::kBufferBytes)
            benchmark::DoNotOptimize(reader.feed(text.substr(at, GzipText::kBufferBytes)));
        if (!reader.finish()) state.SkipWithError(reader.why().c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rows));
}
BENCHMARK(CsvRows)->Unit(benchmark::kMillisecond);

void GzipAndCsvRows(benchmark::State& state) {
    const std::string_view packed = monthGzip();
    constexpr std::size_t kPiece = 16 << 10;  // libcurl's write size
    std::size_t rows = 0;
    for (auto _ : state) {
        quarlink::jquants::CsvRows<DailyBar> reader(counting(rows));
        GzipText gzip(reader);
        gzip.start("bench");
        for (std::size_t at = 0; at < packed.size(); at += kPiece) benchmark::DoNotOptimize(gzip.feed(packed.substr(at, kPiece)));
        if (!gzip.finish()) state.SkipWithError(gzip.why().c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * monthCsv().size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rows));
    state.counters["gzip_bytes"] = static_cast<double>(packed.size());
}
BENCHMARK(GzipAndCsvRows)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
