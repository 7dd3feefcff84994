#include <cstdio>

#include "core/store/number_text.h"
#include "core/web/html_value_format.h"
#include "core/web/page_cursor.h"
#include "core/web/page_markers.h"

namespace quarlink {

using namespace markers;

int HtmlValueFormat::ReadYahooQuote(int code, int mode, std::int32_t& date, std::int32_t& open, std::int32_t& high,
                                    std::int32_t& low, std::int32_t& close, std::int32_t& volume,
                                    std::int32_t& marginBuy, std::int32_t& marginSell) {
    const LocalDateTime now = startQuoteRead();

    char path[64];
    std::snprintf(path, sizeof path, kYahooQuotePath, code);
    std::string page;
    if (!fetchPage(endpoints_.quote, path, page)) return -2;

    PageCursor c(page);
    if (c.contains(kNoSuchStock)) return -1;

    std::string_view monthText, dayText, priceText, volumeText, openText, highText, lowText;
    if (!c.skipPast(kCurrentDateTime)) return formatFailure("FORMAT CHANGED : Value 0");
    if (!c.skipPast("<b>")) return formatFailure("FORMAT CHANGED : Value 20");
    if (!c.takeUpTo(kMonth, monthText)) return formatFailure("FORMAT CHANGED : Value 21");
    if (!c.takeUpTo(kDay, dayText)) return formatFailure("FORMAT CHANGED : Value 22");
    if (!c.skipPast(kYahooPriceRow)) return formatFailure("FORMAT CHANGED : Value 1");
    if (!c.skipPast("<b>")) return formatFailure("FORMAT CHANGED : Value 1");
    if (!c.takeUpTo("</b>", priceText)) return formatFailure("FORMAT CHANGED : Value 2");
    if (priceText == "---") return -1;
    if (mode != 2) {
        if (!c.skipPast(kVolumeLabel)) return formatFailure("FORMAT CHANGED : Value 9");
        if (!c.skipPast("<br>")) return formatFailure("FORMAT CHANGED : Value 1");
        if (!c.takeUpTo("</td>", volumeText)) return formatFailure("FORMAT CHANGED : Value 10");
    }
    if (!c.skipPast(kOpenLabel)) return formatFailure("FORMAT CHANGED : Value 3");
    if (!c.skipPast("<br>")) return formatFailure("FORMAT CHANGED : Value 3");
    if (!c.takeUpTo("</td>", openText)) return formatFailure("FORMAT CHANGED : Value 4");
    if (!c.skipPast("<br>")) return formatFailure("FORMAT CHANGED : Value 5");
    if (!c.takeUpTo("</td>", highText)) return formatFailure("FORMAT CHANGED : Value 6");
    if (!c.skipPast("<br>")) return formatFailure("FORMAT CHANGED : Value 7");
    if (!c.takeUpTo("</td>", lowText)) return formatFailure("FORMAT CHANGED : Value 8");

    const auto pageMonth = clampToInt32(leadingInteger(monthText));
    const auto pageDay = clampToInt32(leadingInteger(dayText));
    const int pageYear = quoteYear(now, pageMonth, pageDay);

    std::string marginPage;
    std::string_view sellText = "0", buyText = "0";
    if (mode == 1) {
        // The month up to the page's date.
        const int startYear = pageMonth == 1 ? pageYear - 1 : pageYear;
        const int startMonth = pageMonth == 1 ? 12 : pageMonth - 1;
        char tablePath[160];
        std::snprintf(tablePath, sizeof tablePath, kMarginTablePath, startYear, startMonth, pageDay, pageYear,
                      pageMonth, pageDay, code);
        if (!fetchPage(endpoints_.history, tablePath, marginPage)) return -2;
        PageCursor m(marginPage);
        if (!m.contains(kNoMarginInPeriod) && !m.contains(kEnterStockCode) && !m.contains(kNoData)) {
            if (!m.skipPast(kMarginRow)) return formatFailure("FORMAT CHANGED : Shin 0");
            if (!m.skipPast("/small></td><td><small>")) return formatFailure("FORMAT CHANGED : Shin 4");
            if (!m.takeUpTo(kCellBreak, sellText)) return formatFailure(nullptr);
            if (!m.takeUpTo("</small></td>", buyText)) return formatFailure("FORMAT CHANGED : Shin 5");
        }
    }

    return deliverQuote({openText, highText, lowText, priceText, volumeText, buyText, sellText}, now, pageYear,
                        pageMonth, pageDay, mode, date, open, high, low, close, volume, marginBuy, marginSell,
                        "FORMAT CHANGED : Value 22", "FORMAT CHANGED : Value x");
}

}  // namespace quarlink
