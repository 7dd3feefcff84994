#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <vector>

#include "market.h"
#include "core/env/clock.h"
#include "core/store/folder_layout.h"
#include "core/store/index_flags.h"
#include "core/store/price_file.h"
#include "core/store/text_encoding.h"

namespace quarlink::pages {

namespace {

// splitmix64: the same numbers on every platform, unlike the std distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::int64_t below(std::int64_t n) { return static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(n)); }

private:
    std::uint64_t state_;
};

struct Day {
    std::int32_t date;
    bool margin;  // a record date of the margin balances
};

std::vector<Day> tradingDays(int fromYear, std::int32_t to) {
    using namespace std::chrono;
    std::vector<Day> result;
    const sys_days last = year{to / 10000} / (to / 100 % 100) / (to % 100);
    for (sys_days d = year{fromYear} / 1 / 1; d <= last; d += days{1}) {
        const year_month_day ymd{d};
        const std::int32_t date = int(ymd.year()) * 10000 + int(unsigned(ymd.month())) * 100 + int(unsigned(ymd.day()));
        if (isTradingDay(date)) result.push_back({date, weekday{d} == Friday || date >= kDailyMarginFrom});
    }
    return result;
}

// A random walk of daily records; indices carry two decimals (x100) and no volume.
PriceSeries walk(Random& rng, const std::vector<Day>& days, std::size_t first, std::int64_t price, bool index,
                 int unit) {
    PriceSeries series;
    for (std::size_t i = first; i < days.size(); ++i) {
        PriceRecord r;
        r.date = days[i].date;
        r.open = static_cast<std::int32_t>(price + price * (rng.below(201) - 100) / 10000);
        price = std::max<std::int64_t>(1, price + price * (rng.below(601) - 300) / 10000);
        r.close = static_cast<std::int32_t>(price);
        r.open = std::max(r.open, 1);
        r.high = static_cast<std::int32_t>(std::max(r.open, r.close) + rng.below(1 + price / 50));
        r.low = static_cast<std::int32_t>(std::max<std::int64_t>(1, std::min(r.open, r.close) - rng.below(1 + price / 50)));
        if (!index) {
            r.volume = static_cast<std::int32_t>((rng.below(2000) + 1) * unit);
            if (days[i].margin) {
                r.marginBuy = static_cast<std::int32_t>((rng.below(5000) + 1) * unit);
                r.marginSell = static_cast<std::int32_t>(rng.below(2000) * unit);
            }
        }
        series.append(r);
    }
    return series;
}

// The prices a split leaves in the records: a 1:2 split doubles those before
// it, a 10:1 consolidation (ratio 0.1) multiplies those from it on by ten, so
// that every price stays a whole number of yen.
void applySplit(PriceSeries& series, const Split& split) {
    const bool before = split.ratio >= 1;
    const auto factor = static_cast<std::int32_t>(std::lround(before ? split.ratio : 1 / split.ratio));
    for (PriceRecord& r : series.rows)
        if ((r.date < split.date) == before)
            for (std::int32_t* price : {&r.open, &r.high, &r.low, &r.close}) *price *= factor;
}

}  // namespace

bool isTradingDay(std::int32_t date) {
    using namespace std::chrono;
    const unsigned m = unsigned(date / 100 % 100), md = unsigned(date % 100);
    const weekday wd{sys_days{year{date / 10000} / m / md}};
    if (wd == Saturday || wd == Sunday) return false;
    static constexpr unsigned kHolidays[] = {101, 102, 103, 211, 223, 429, 503, 504, 505, 1103, 1123, 1231};
    return std::find(std::begin(kHolidays), std::end(kHolidays), m * 100 + md) == std::end(kHolidays);
}

char holidayDivision(std::int32_t date) {
    if (!isTradingDay(date)) return '0';
    for (std::int32_t d = date / 10000 * 10000 + 101; d < date; d = addDays(d, 1))
        if (isTradingDay(d)) return '1';
    return '2';
}

std::int32_t nextTradingDay(std::int32_t date) {
    do date = addDays(date, 1);
    while (!isTradingDay(date));
    return date;
}

bool generateMarket(const std::filesystem::path& dir, const GenerateOptions& options, std::string& error) {
    std::int32_t to = options.to ? options.to : SystemClock{}.now().yyyymmdd();
    const int fromYear = options.fromYear ? options.fromYear : to / 10000 - 1;
    const std::vector<Day> days = tradingDays(fromYear, to);
    if (days.empty()) {
        error = "no trading days between " + std::to_string(fromYear) + " and " + std::to_string(to);
        return false;
    }
    if (!ensureFolder(dir / "data", &error)) return false;

    IndexTable index;
    Random rng(options.seed);
    const auto write = [&](int code, const PriceSeries& series) {
        char name[8];
        std::snprintf(name, sizeof name, "%04d", code);
        return writePriceFile(dir / "data" / name, series, &error);
    };

    index.name[101] = utf8ToCp932("日経平均");
    index.name[102] = utf8ToCp932("ＴＯＰＩＸ");
    for (int code : {101, 102}) {
        index.market[code] = "T1";
        index.unit[code] = "1";
        if (!write(code, walk(rng, days, 0, code == 101 ? 1'600'000 : 160'000, true, 1))) return false;
    }

    static const char* const kFirst[] = {"北海", "東都", "大和", "日本", "関西", "中部", "瀬戸内", "九州"};
    static const char* const kSecond[] = {"工業", "商事", "電機", "製薬", "銀行", "建設", "化学", "食品", "物産"};
    static const int kUnits[] = {1000, 100, 1, 500};
    const int count = std::clamp(options.codes, 1, 8600);
    const int step = std::clamp(8600 / count, 1, 7);
    for (int i = 0; i < count; ++i) {
        const int code = 1301 + i * step;
        const int unit = kUnits[i % 4];
        index.name[code] = utf8ToCp932(std::string(kFirst[i % 8]) + kSecond[(i / 8) % 9]);
        index.market[code] = kMarketCodes[i % 7].code;
        index.unit[code] = std::to_string(unit);
        std::vector<Split> splits;
        if (i % 17 == 8) splits.push_back({days[days.size() / 2].date, 2.0});
        if (i % 17 == 12) splits.push_back({days[days.size() * 2 / 3].date, 0.1});
        index.flags[code] = composeFlags(i % 7 == 0, i % 11 == 3, i % 13 == 5, splits);

        // One code starts late; a few did not trade on the last day.
        const std::size_t first = i == 2 ? days.size() * 3 / 4 : 0;
        PriceSeries series = walk(rng, days, first, 100 + rng.below(5000), false, unit);
        for (const Split& split : splits) applySplit(series, split);
        if (i % 10 == 4 && series.size() > 1) series.rows.pop_back();
        if (!write(code, series)) return false;
    }
    return saveIndexTable(dir / "index.txt", index, to, &error);
}

}  // namespace quarlink::pages
