#pragma once
#include <cstdint>
#include <vector>

#include "core/store/index_flags.h"

namespace quarlink {

// A code's (or an index's) daily rows as the code-by-code jobs take them:
// parallel series, ascending by date, prices and balances in whole stored
// units (indices in hundredths).
struct HistoryRows {
    std::vector<std::int32_t> dates, opens, highs, lows, closes, volumes, buys, sells;
    // The stock splits the source's adjustment factors show in the span,
    // ascending (none from the pages, which have no factor).
    std::vector<Split> splits;
    // The newest day the source served the code, a day without trade
    // included: days of the calendar after it are not published yet (or the
    // code has left the market), so they get no filler. 0: not known.
    std::int32_t lastServed = 0;
};

// One code's margin balances by record date, ascending.
struct MarginRows {
    std::vector<std::int32_t> dates, buys, sells;
};

}  // namespace quarlink
