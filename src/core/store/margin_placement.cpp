#include "core/store/margin_placement.h"

#include <algorithm>

namespace quarlink {

void placeMarginBalances(const std::vector<std::int32_t>& recordDates, std::vector<std::int32_t>& buys,
                         std::vector<std::int32_t>& sells, const std::vector<std::int32_t>& dates,
                         const std::vector<std::int32_t>& balanceBuys, const std::vector<std::int32_t>& balanceSells) {
    // Both in date order, whatever order a table or a damaged file has
    // them in; ties keep theirs (the first of a date wins).
    const auto byDate = [](const std::vector<std::int32_t>& of, std::size_t n) {
        std::vector<std::size_t> order(n);
        for (std::size_t i = 0; i < n; ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return of[a] < of[b]; });
        return order;
    };
    const std::vector<std::size_t> records = byDate(recordDates, recordDates.size());
    const std::vector<std::size_t> balances = byDate(dates, std::min({dates.size(), balanceBuys.size(), balanceSells.size()}));
    std::vector<bool> ownDate(recordDates.size(), false);
    std::size_t row = 0;
    for (const std::size_t i : balances) {
        while (row < records.size() && recordDates[records[row]] < dates[i]) ++row;
        if (row == records.size()) break;
        const std::size_t at = records[row];
        if (ownDate[at]) continue;  // the first balance of a record's own date wins
        if (row == 0 && recordDates[at] != dates[i]) continue;  // before the first record: not this span's
        buys[at] = balanceBuys[i];
        sells[at] = balanceSells[i];
        ownDate[at] = recordDates[at] == dates[i];
    }
}

void carryMarginBalances(std::vector<std::int32_t>& buys, std::vector<std::int32_t>& sells) {
    std::int32_t carriedBuy = 0, carriedSell = 0;
    for (std::size_t i = 0; i < buys.size() && i < sells.size(); ++i) {
        if (buys[i] != 0) carriedBuy = buys[i];
        else buys[i] = carriedBuy;
        if (sells[i] != 0) carriedSell = sells[i];
        else sells[i] = carriedSell;
    }
}

}  // namespace quarlink
