#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "core/portfolio/portfolio_rows.h"
#include "core/store/index_table.h"
#include "core/env/prompter.h"

namespace quarlink {

struct PositionTotals {
    std::string currentValue;   // 現在評価総額
    std::string purchaseValue;  // 購入時評価総額
    std::string holdings;       // 所持数
};

struct TradeRow {
    PortfolioRow columns = PortfolioRow(kTradeColumns);
    // Its marker was written by a close or a trade edit since the book was
    // opened; only such a "未" takes part in the automatic profit.
    bool fresh = false;
};

struct TradeTotals {
    std::string profit;      // 差損益合計額
    std::string tradeCount;  // 売買数数
};

// Fills the derived columns of each position (name, market, amount, current
// price, high and low in the measured period with their dates) from the
// index and the split-adjusted price file dataFolder/<code as typed>, and
// sets the totals. Stops at the first code without an index name, writing
// "対象コードなし" there and leaving later rows and the totals as they were;
// returns false then.
bool recomputePositions(std::vector<PortfolioRow>& positions, const IndexTable& index,
                        const std::filesystem::path& dataFolder, PositionTotals& totals);

// Fills name, market and both amounts of each trade, and the profit where it
// is empty or a fresh "未", telling the user of each fill. Stops like
// recomputePositions.
bool recomputeTrades(std::vector<TradeRow>& trades, const IndexTable& index, Prompter& prompter,
                     TradeTotals& totals);

}  // namespace quarlink
