#include <cstdio>

#include "core/store/number_text.h"
#include "core/web/html_value_format.h"
#include "core/web/page_cursor.h"
#include "core/web/page_markers.h"

namespace quarlink {

using namespace markers;

int HtmlValueFormat::ReadMarginHistory(int code, int months, std::vector<std::int32_t>& dates,
                                       std::vector<std::int32_t>& buys, std::vector<std::int32_t>& sells) {
    dates.clear();
    buys.clear();
    sells.clear();
    const LocalDateTime now = clock_.now();

    // Normalised by whole years, so that any look-back gives a real month.
    int startYear = now.year;
    int startMonth = now.month - months;
    while (startMonth <= 0) {
        startMonth += 12;
        --startYear;
    }
    while (startMonth > 12) {
        startMonth -= 12;
        ++startYear;
    }

    char path[160];
    std::snprintf(path, sizeof path, kMarginTablePath, startYear, startMonth, 1, now.year, now.month, 31, code);
    std::string page;
    if (!fetchPage(endpoints_.history, path, page)) return -2;

    PageCursor c(page);
    if (c.contains(kEnterStockCode) || c.contains(kNoMarginInPeriod)) return -1;
    if (!c.contains(kMarginRow)) return formatFailure("FORMAT CHANGED : Shin 0 form HtmlValueFormat");

    std::vector<std::int32_t> rowDates, rowBuys, rowSells;
    do {
        std::string_view y, m, d, sell, buy;
        c.skipPast(kMarginRow);
        if (!c.takeUpTo(kYear, y)) return formatFailure("FORMAT CHANGED : Shin 1 form HtmlValueFormat");
        if (!c.takeUpTo(kMonth, m)) return formatFailure("FORMAT CHANGED : Shin 2 form HtmlValueFormat");
        if (!c.takeUpTo(kDay, d)) return formatFailure("FORMAT CHANGED : Shin 3 form HtmlValueFormat");
        if (!c.skipPast(kCellBreak)) return formatFailure("FORMAT CHANGED : Shin 4 form HtmlValueFormat");
        if (!c.takeUpTo(kCellBreak, sell)) return formatFailure(nullptr);
        if (!c.takeUpTo(kCellBreak, buy)) return formatFailure("FORMAT CHANGED : Shin 5 form HtmlValueFormat");
        rowDates.push_back(composeDate(leadingInteger(y), leadingInteger(m), leadingInteger(d), false));
        rowBuys.push_back(readPriceNumber(buy));
        rowSells.push_back(readPriceNumber(sell));
    } while (c.contains(kMarginRow));

    // The table lists the newest date first.
    dates.assign(rowDates.rbegin(), rowDates.rend());
    buys.assign(rowBuys.rbegin(), rowBuys.rend());
    sells.assign(rowSells.rbegin(), rowSells.rend());
    return 1;
}

}  // namespace quarlink
