// Reads arbitrary bytes as a J-Quants answer of every kind: a page is taken
// whole or refused (leaving no row), every row kept holds a real date and a
// stock code, and every price kept is one the stored record can hold, with
// high >= low and open and close between them.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/web/jquants/jquants_json.h"

using namespace quarlink::jquants;

namespace {
bool realDate(std::int32_t date) { return date && parseDate(isoDate(date)) == date; }
bool storable(double value, double scale = 1) { return value >= 0 && value * scale < 2147483647.5; }
bool prices(double open, double high, double low, double close, double scale) {
    return storable(open, scale) && storable(high, scale) && storable(low, scale) && storable(close, scale) &&
           low * scale >= 0.5 && low <= open && open <= high && low <= close && close <= high;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    std::string next;
    DailyBars bars;
    std::string why;
    const bool read = parseDailyBarsPage(body, bars, next, &why);
    if (read != (bars.pages == 1) || read == !why.empty() || (!read && (!bars.rows.empty() || bars.otherCodes)))
        std::abort();
    for (const DailyBar& bar : bars.rows)
        if (!realDate(bar.date) || bar.code < 1000 || bar.code > 9999 || (!bar.traded && bar.open != 0) ||
            (bar.traded && (!prices(bar.open, bar.high, bar.low, bar.close, 1) || !storable(bar.volume))))
            std::abort();
    DailyBars few;
    if (parseDailyBarsPage(body, few, next, nullptr, 1) && few.rows.size() + few.otherCodes > 1) std::abort();
    MarginBalances margin;
    parseMarginPage(body, margin, next);
    for (const MarginBalance& row : margin.rows)
        if (!realDate(row.date) || row.code < 1000 || row.code > 9999 || !storable(row.longVol) ||
            !storable(row.shortVol))
            std::abort();
    Calendar days;
    parseCalendarPage(body, days, next);
    for (const CalendarDay& day : days.rows)
        if (!realDate(day.date) || day.holDiv < 0 || day.holDiv > 3) std::abort();
    IndexBars topix;
    parseIndexPage(body, topix, next);
    for (const IndexBar& bar : topix.rows)
        if (!realDate(bar.date) || !prices(bar.open, bar.high, bar.low, bar.close, 100)) std::abort();
    ListedMaster master;
    parseMasterPage(body, master, next);
    for (const ListedIssue& issue : master.rows)
        if (issue.stockCode != stockCodeOf(issue.code)) std::abort();
    errorMessage(body);
    return 0;
}
