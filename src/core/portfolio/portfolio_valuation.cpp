#include "core/portfolio/portfolio_valuation.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/store/index_flags.h"
#include "core/store/price_file.h"
#include "core/store/text_encoding.h"

namespace quarlink {
namespace {

constexpr std::int32_t kNoLow = 0x1000000;  // above any price

const std::string& noCodeText() {
    static const std::string text = sjis("対象コードなし");
    return text;
}

const std::string& untilNowText() {
    static const std::string text = sjis("現在まで");
    return text;
}

const std::string& unsettledText() {
    static const std::string text = sjis("未");
    return text;
}

// "%d(%.2f)" of the price and its ratio to the entry price; to_chars keeps
// the "." whatever locale the GUI has set. An entry price of 0 has no ratio.
std::string priceWithPercent(std::int64_t price, std::int32_t entryPrice) {
    std::string text = std::to_string(price) + "(";
    if (entryPrice == 0) return text + "---)";
    const double percent = static_cast<double>(price) / entryPrice * 100.0;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, percent, std::chars_format::fixed, 2);
    return text + std::string(buf, res.ptr) + ")";
}

bool lookUp(PortfolioRow& row, const IndexTable& index, int& code) {
    code = fieldNumber(row[1]);
    if (!index.isRegistered(code)) {
        row[2] = noCodeText();
        return false;
    }
    row[2] = index.name[code];
    row[3] = index.market[code];
    return true;
}

}  // namespace

bool recomputePositions(std::vector<PortfolioRow>& positions, const IndexTable& index,
                        const std::filesystem::path& dataFolder, PositionTotals& totals) {
    std::int64_t currentTotal = 0;
    std::int64_t purchaseTotal = 0;
    for (PortfolioRow& row : positions) {
        row.resize(kPositionColumns);
        int code = 0;
        if (!lookUp(row, index, code)) return false;
        const std::int32_t entryPrice = fieldNumber(row[5]);
        const std::int32_t units = fieldNumber(row[6]);
        const std::int64_t amount = static_cast<std::int64_t>(entryPrice) * units;
        row[7] = std::to_string(amount);
        addToTotal(purchaseTotal, amount);

        // The file is named by the code as typed; only plain digits may
        // name a file, anything else counts as missing.
        PriceSeries series;
        const bool loaded = isPortfolioNumber(row[1]) && loadPriceFile(dataFolder / row[1], series);
        if (!loaded || series.empty()) {
            for (std::size_t c = 8; c < kPositionColumns; ++c)
                if (c != 9) row[c] = "---";
            continue;
        }
        adjustForSplits(index, code, series);

        const std::int32_t entry = fieldDate(row[0]);
        bool started = false;
        std::int32_t high = 0;
        std::int32_t low = kNoLow;
        std::string highDate = "---";
        std::string lowDate = "---";
        std::int64_t remaining = row[9] == untilNowText() ? -1 : fieldNumber(row[9]);
        for (const PriceRecord& r : series.rows) {
            if (entry < r.date)
                started = true;
            else if (!started)
                continue;
            if (remaining == 0) continue;
            if (r.high > high) {
                high = r.high;
                highDate = recordDateText(r.date);
            }
            if (r.low < low && r.low != 0) {
                low = r.low;
                lowDate = recordDateText(r.date);
            }
            --remaining;
        }
        const std::int32_t current = series.rows.back().close;
        addToTotal(currentTotal, static_cast<std::int64_t>(units) * current);
        row[8] = priceWithPercent(current, entryPrice);
        row[10] = high == 0 ? "---" : priceWithPercent(high, entryPrice);
        row[11] = low == kNoLow ? "---" : priceWithPercent(low, entryPrice);
        row[12] = highDate;
        row[13] = lowDate;
    }
    totals.holdings = std::to_string(positions.size());
    totals.currentValue = std::to_string(currentTotal);
    totals.purchaseValue = std::to_string(purchaseTotal);
    return true;
}

bool recomputeTrades(std::vector<TradeRow>& trades, const IndexTable& index, Prompter& prompter,
                     TradeTotals& totals) {
    std::int64_t profitTotal = 0;
    for (std::size_t i = 0; i < trades.size(); ++i) {
        PortfolioRow& row = trades[i].columns;
        row.resize(kTradeColumns);
        int code = 0;
        if (!lookUp(row, index, code)) return false;
        const std::int32_t units = fieldNumber(row[6]);
        const std::int64_t entryAmount = static_cast<std::int64_t>(units) * fieldNumber(row[5]);
        const std::int64_t exitAmount = static_cast<std::int64_t>(units) * fieldNumber(row[9]);
        row[7] = std::to_string(entryAmount);
        row[10] = std::to_string(exitAmount);
        if (row[11].empty() || (trades[i].fresh && row[12] == unsettledText())) {
            row[11] = std::to_string(exitAmount - entryAmount);
            row[12] = unsettledText();
            prompter.message("差損益が自動挿入されました。 LINE:" + std::to_string(i));
        }
        addToTotal(profitTotal, amountNumber(row[11]));
    }
    totals.profit = std::to_string(profitTotal);
    totals.tradeCount = std::to_string(trades.size());
    return true;
}

}  // namespace quarlink
