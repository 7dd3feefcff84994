// Reads arbitrary bytes as a J-Quants answer of every kind: a page is taken
// whole or refused, and every row kept holds a real date and a stock code.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/jquants/jquants_json.h"

using namespace quarlink::jquants;

namespace {
bool realDate(std::int32_t date) { return date && parseDate(isoDate(date)) == date; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    std::string next;
    DailyBars bars;
    if (parseDailyBarsPage(body, bars, next) != (bars.pages == 1)) std::abort();
    for (const DailyBar& bar : bars.rows)
        if (!realDate(bar.date) || bar.code < 1000 || bar.code > 9999 || (!bar.traded && bar.open != 0)) std::abort();
    MarginBalances margin;
    parseMarginPage(body, margin, next);
    for (const MarginBalance& row : margin.rows)
        if (!realDate(row.date) || row.code < 1000 || row.code > 9999) std::abort();
    Calendar days;
    parseCalendarPage(body, days, next);
    for (const CalendarDay& day : days.rows)
        if (!realDate(day.date) || day.holDiv < 0 || day.holDiv > 9) std::abort();
    IndexBars topix;
    parseIndexPage(body, topix, next);
    ListedMaster master;
    parseMasterPage(body, master, next);
    for (const ListedIssue& issue : master.rows)
        if (issue.stockCode != stockCodeOf(issue.code)) std::abort();
    errorMessage(body);
    return 0;
}
