#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "core/store/index_table.h"
#include "core/store/price_series.h"

namespace quarlink::pages {

// A market folder in the chart program's formats: index.txt and data/NNNN.
struct Market {
    IndexTable index;
    std::string indexBytes;              // index.txt as stored, for the download endpoint
    std::map<int, PriceSeries> series;   // code -> rows, oldest first
    std::int32_t lastDay = 0;            // the newest trading day of the market

    const PriceSeries* find(int code) const;
};

bool loadMarket(const std::filesystem::path& dir, Market& market, std::string& error);

struct GenerateOptions {
    int codes = 30;
    int fromYear = 0;        // 0: the year before `to`
    std::int32_t to = 0;     // YYYYMMDD; 0: today
    std::uint64_t seed = 1;
};

// The generated market's business days: weekdays but January 1-3, December 31
// and the national holidays that fall on a fixed date.
bool isTradingDay(std::int32_t yyyymmdd);
// The exchange's holiday division: '0' closed, '1' open, '2' the half-day
// session of the year's first business day.
char holidayDivision(std::int32_t yyyymmdd);
std::int32_t nextTradingDay(std::int32_t yyyymmdd);

// Margin balances are daily from this record date on, weekly (Fridays) before.
inline constexpr std::int32_t kDailyMarginFrom = 20260925;

// Writes a deterministic synthetic market (same options, same bytes).
bool generateMarket(const std::filesystem::path& dir, const GenerateOptions& options, std::string& error);

}  // namespace quarlink::pages
