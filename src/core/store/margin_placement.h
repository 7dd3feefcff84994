#pragma once
#include <cstdint>
#include <vector>

namespace quarlink {

// Where margin balances go, the one rule of every path that stores them
// from a list (the initial data, the margin fill, the J-Quants history): a
// balance goes onto the record of its record date or, when that day has no
// record (a holiday Friday, a halt), onto the next record; a balance of the
// record's own date wins over one moved onto it, and one dated before the
// first record is not the span's. `buys` and `sells` are the records' own,
// changed in place; either list may come in any order.
void placeMarginBalances(const std::vector<std::int32_t>& recordDates, std::vector<std::int32_t>& buys,
                         std::vector<std::int32_t>& sells, const std::vector<std::int32_t>& dates,
                         const std::vector<std::int32_t>& balanceBuys, const std::vector<std::int32_t>& balanceSells);


// Records without a balance (0, as the chart reads it) carry the one
// before them: a balance holds until the next.
void carryMarginBalances(std::vector<std::int32_t>& buys, std::vector<std::int32_t>& sells);

}  // namespace quarlink
