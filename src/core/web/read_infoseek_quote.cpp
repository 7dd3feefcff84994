#include <cstdio>

#include "core/store/number_text.h"
#include "core/web/html_value_format.h"
#include "core/web/page_cursor.h"
#include "core/web/page_markers.h"

namespace quarlink {

using namespace markers;

int HtmlValueFormat::ReadInfoSeekQuote(int code, int mode, std::int32_t& date, std::int32_t& open,
                                       std::int32_t& high, std::int32_t& low, std::int32_t& close,
                                       std::int32_t& volume, std::int32_t& marginBuy, std::int32_t& marginSell) {
    const LocalDateTime now = startQuoteRead();

    char path[64];
    std::snprintf(path, sizeof path, kInfoSeekPath, code);
    std::string page;
    if (!fetchPage(endpoints_.stock, path, page)) return -2;

    PageCursor c(page);
    if (c.contains(kNoMatchingData)) return -1;

    std::string_view priceText, monthText, dayText, highText, lowText, openText, volumeText;
    std::string_view sellText = "0", buyText = "0";
    if (!c.skipPast(kCurrentPrice)) return formatFailure("FORMAT CHANGED : Value 0 form HtmlValueFormat");
    if (!c.skipPast(kInfoSeekPriceCell)) return formatFailure("FORMAT CHANGED : Value 1 form HtmlValueFormat");
    if (!c.takeUpTo("</b>", priceText)) return formatFailure("FORMAT CHANGED : Value 2 form HtmlValueFormat");
    if (priceText == "-") return -1;
    if (!c.skipPast("(")) return formatFailure("FORMAT CHANGED : Value 20 form HtmlValueFormat");
    if (!c.takeUpTo("/", monthText)) return formatFailure("FORMAT CHANGED : Value 21 form HtmlValueFormat");
    if (!c.takeUpTo(" ", dayText)) return formatFailure("FORMAT CHANGED : Value 22 form HtmlValueFormat");
    if (!c.skipPast(kInfoSeekHighCell)) return formatFailure("FORMAT CHANGED : Value 3 form HtmlValueFormat");
    if (!c.takeUpTo("</td>", highText)) return formatFailure("FORMAT CHANGED : Value 4 form HtmlValueFormat");
    if (!c.skipPast("<td>")) return formatFailure("FORMAT CHANGED : Value 5 form HtmlValueFormat");
    if (!c.takeUpTo("</td>", lowText)) return formatFailure("FORMAT CHANGED : Value 6 form HtmlValueFormat");
    if (!c.skipPast("<td>")) return formatFailure("FORMAT CHANGED : Value 7 form HtmlValueFormat");
    if (!c.takeUpTo("</td>", openText)) return formatFailure("FORMAT CHANGED : Value 8 form HtmlValueFormat");
    if (mode != 2) {
        if (!c.skipPast("<td>")) return formatFailure("FORMAT CHANGED : Value 9 form HtmlValueFormat");
        if (!c.takeUpTo("</td>", volumeText)) return formatFailure("FORMAT CHANGED : Value 10 form HtmlValueFormat");
    }
    if (mode == 1 && c.skipPast(kDayHeaderEnd)) {
        if (!c.skipPast("<td>")) return formatFailure("FORMAT CHANGED : Value 12 form HtmlValueFormat");
        if (!c.takeUpTo("</td>", sellText)) return formatFailure("FORMAT CHANGED : Value 13 form HtmlValueFormat");
        if (!c.skipPast("<td>")) return formatFailure("FORMAT CHANGED : Value 13 form HtmlValueFormat");
        if (!c.takeUpTo("</td>", buyText)) return formatFailure("FORMAT CHANGED : Value 14 form HtmlValueFormat");
    }

    const auto pageMonth = clampToInt32(leadingInteger(monthText));
    const auto pageDay = clampToInt32(leadingInteger(dayText));
    return deliverQuote({openText, highText, lowText, priceText, volumeText, buyText, sellText}, now,
                        quoteYear(now, pageMonth, pageDay), pageMonth, pageDay, mode, date, open, high, low, close,
                        volume, marginBuy, marginSell, "FORMAT CHANGED : Value 22 form HtmlValueFormat",
                        "FORMAT CHANGEDx : Value x finishvalue form HtmlValueFormat");
}

}  // namespace quarlink
