#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/portfolio/portfolio_list_model.h"
#include "core/store/application.h"
#include "core/env/clock.h"
#include "core/env/prompter.h"

namespace quarlink {

struct PortfolioReport {
    std::string html;  // Shift-JIS, "\n" line ends
    std::int64_t entryTotal = 0;      // 仕掛け総額
    std::int64_t valuationTotal = 0;  // 評価総額
    std::int64_t profitTotal = 0;     // 差損益合計
};

// The report page of one portfolio from its position and trade files as
// saved. Field texts are HTML-escaped; the head declares Shift_JIS.
PortfolioReport renderPortfolioReport(const PortfolioEntry& portfolio, std::string_view positionFile,
                                      std::string_view tradeFile, const LocalDateTime& now);

// "日".."土" for a calendar date (UTF-8).
const char* weekdayName(int year, int month, int day);

// Writes html/p<number>_<name>(<manager>).html for every line of the list
// file, in file order, stopping at the first failure with its message.
// `written` receives the report files written.
bool writeAllReports(const Application& app, const Clock& clock, Prompter& prompter,
                     std::vector<std::filesystem::path>* written = nullptr);

}  // namespace quarlink
