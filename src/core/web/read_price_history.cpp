#include <cstdio>

#include "core/store/number_text.h"
#include "core/web/html_value_format.h"
#include "core/web/page_cursor.h"
#include "core/web/page_markers.h"

namespace quarlink {

using namespace markers;

namespace {

struct Row {
    std::int32_t date, open, high, low, close, volume, buy = 0, sell = 0;
};

const char* readPriceRows(std::string_view page, int mode, std::vector<Row>& rows, bool& failed) {
    failed = true;
    PageCursor c(page);
    if (!c.contains(kPriceRow)) return "FORMAT CHANGED : Value 0 form HtmlValueFormat";
    do {
        std::string_view y, m, d, open, high, low, close, volume;
        c.skipPast(kPriceRow);
        if (!c.takeUpTo(kYear, y)) return "FORMAT CHANGED : Value 1 form HtmlValueFormat";
        if (!c.takeUpTo(kMonth, m)) return "FORMAT CHANGED : Value 2 form HtmlValueFormat";
        if (!c.takeUpTo(kDay, d)) return "FORMAT CHANGED : Value 3 form HtmlValueFormat";
        if (!c.skipPast(kCellBreak)) return "FORMAT CHANGED : Value 4 form HtmlValueFormat";
        if (!c.takeUpTo(kCellBreak, open)) return "FORMAT CHANGED : Value 5 form HtmlValueFormat";
        if (!c.takeUpTo(kCellBreak, high)) return "FORMAT CHANGED : Value 6 form HtmlValueFormat";
        if (!c.takeUpTo(kCellBreakBold, low)) return "FORMAT CHANGED : Value 7 form HtmlValueFormat";
        if (!c.takeUpTo(kBoldCellEnd, close)) return "FORMAT CHANGED : Value 8 form HtmlValueFormat";
        if (mode != 2) {
            if (!c.skipPast("<td><small>")) return nullptr;
            if (!c.takeUpTo(kCellBreak, volume)) return nullptr;
        }
        rows.push_back(Row{composeDate(leadingInteger(y), leadingInteger(m), leadingInteger(d), false),
                           readPriceNumber(open), readPriceNumber(high), readPriceNumber(low),
                           readPriceNumber(close), mode == 2 ? 0 : readVolumeNumber(volume)});
    } while (c.contains(kPriceRow));
    failed = false;
    return nullptr;
}

// Gives the price rows the balances of the margin rows of equal date.
const char* mergeMarginRows(std::string_view page, std::vector<Row>& rows, bool& failed) {
    failed = true;
    PageCursor c(page);
    if (!c.contains(kMarginRow)) return "FORMAT CHANGED : Shin 0 form HtmlValueFormat";
    do {
        std::string_view y, m, d, sell, buy;
        c.skipPast(kMarginRow);
        if (!c.takeUpTo(kYear, y)) return "FORMAT CHANGED : Shin 1 form HtmlValueFormat";
        if (!c.takeUpTo(kMonth, m)) return "FORMAT CHANGED : Shin 2 form HtmlValueFormat";
        if (!c.takeUpTo(kDay, d)) return "FORMAT CHANGED : Shin 3 form HtmlValueFormat";
        if (!c.skipPast(kCellBreak)) return "FORMAT CHANGED : Shin 4 form HtmlValueFormat";
        if (!c.takeUpTo(kCellBreak, sell)) return nullptr;
        if (!c.takeUpTo(kCellBreak, buy)) return "FORMAT CHANGED : Shin 5 form HtmlValueFormat";
        const std::int32_t date = composeDate(leadingInteger(y), leadingInteger(m), leadingInteger(d), false);
        for (Row& row : rows)
            if (row.date == date) {
                row.buy = readPriceNumber(buy);
                row.sell = readPriceNumber(sell);
            }
    } while (c.contains(kMarginRow));
    failed = false;
    return nullptr;
}

}  // namespace

int HtmlValueFormat::ReadPriceHistory(int code, int startYear, int mode, std::vector<std::int32_t>& dates,
                                      std::vector<std::int32_t>& opens, std::vector<std::int32_t>& highs,
                                      std::vector<std::int32_t>& lows, std::vector<std::int32_t>& closes,
                                      std::vector<std::int32_t>& volumes, std::vector<std::int32_t>& buys,
                                      std::vector<std::int32_t>& sells) {
    for (auto* series : {&dates, &opens, &highs, &lows, &closes, &volumes, &buys, &sells}) series->clear();
    const int currentYear = clock_.now().year;

    for (int y = startYear, m = 1; y <= currentYear;) {
        char path[160];
        std::snprintf(path, sizeof path, kPriceTablePath, y, m, 1, y, m + 1, 31, code);
        std::string page;
        if (!fetchPage(endpoints_.history, path, page)) return -2;

        const bool windowHasRows = page.find(kNoPriceInPeriod) == std::string::npos;
        if (windowHasRows) {
            if (page.find(kNoData) != std::string::npos) return -1;
            std::vector<Row> rows;
            bool failed = false;
            if (const char* text = readPriceRows(page, mode, rows, failed); failed) return formatFailure(text);
            if (mode == 1) {
                std::snprintf(path, sizeof path, kMarginTablePath, y, m, 1, y, m + 1, 31, code);
                if (!fetchPage(endpoints_.history, path, page)) return -2;
                if (page.find(kEnterStockCode) != std::string::npos) return -1;
                if (page.find(kNoMarginInPeriod) == std::string::npos) {
                    if (const char* text = mergeMarginRows(page, rows, failed); failed) return formatFailure(text);
                }
            }
            // The table lists the newest day first.
            for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
                dates.push_back(row->date);
                opens.push_back(row->open);
                highs.push_back(row->high);
                lows.push_back(row->low);
                closes.push_back(row->close);
                volumes.push_back(row->volume);
                buys.push_back(row->buy);
                sells.push_back(row->sell);
            }
        }
        m += 2;
        if (m > 12) {
            ++y;
            m = 1;
        }
    }
    return 1;
}

}  // namespace quarlink
