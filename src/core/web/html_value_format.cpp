#include "core/web/html_value_format.h"

#include "core/web/page_cursor.h"

#include "core/env/date.h"

#include <chrono>
#include <cstdlib>

namespace quarlink {

int HtmlValueFormat::quoteYear(const LocalDateTime& today, int month, int day) {
    using namespace std::chrono;
    if (month < 1 || month > 12 || day < 1 || day > 31) return today.year;
    const auto dayNumber = [](int y, int m, int d) {
        return (sys_days{std::chrono::year{y} / m / 1} + days{d - 1}).time_since_epoch().count();
    };
    const auto now = dayNumber(today.year, today.month, today.day);
    int best = today.year;
    auto bestDistance = std::labs(dayNumber(today.year, month, day) - now);
    for (int candidate : {today.year - 1, today.year + 1}) {
        const auto distance = std::labs(dayNumber(candidate, month, day) - now);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

bool HtmlValueFormat::fetchPage(const Endpoint& endpoint, const std::string& path, std::string& page) {
    page.clear();
    return fetcher_.fetch(endpoint.host, endpoint.port, path, page) == 1;
}

int HtmlValueFormat::formatFailure(const char* text) {
    if (text) message = text;
    return -3;
}

LocalDateTime HtmlValueFormat::startQuoteRead() {
    const LocalDateTime now = clock_.now();
    year = now.year;
    month = now.month;
    return now;
}

int HtmlValueFormat::deliverQuote(const QuoteTexts& t, const LocalDateTime& today, int pageYear, int pageMonth,
                                  int pageDay, int mode, std::int32_t& date, std::int32_t& open, std::int32_t& high,
                                  std::int32_t& low, std::int32_t& close, std::int32_t& volume,
                                  std::int32_t& marginBuy, std::int32_t& marginSell, const char* dateMessage,
                                  const char* closeZeroMessage) {
    date = composeDate(pageYear, pageMonth, pageDay, true);
    // A day that is no day, or one still to come, would be stored as the
    // file's last record and hold back every correct day until it passes.
    if (!validDate(pageYear, pageMonth, pageDay) || date > today.yyyymmdd()) return formatFailure(dateMessage);
    open = readPriceNumber(t.open);
    high = readPriceNumber(t.high);
    low = readPriceNumber(t.low);
    close = readPriceNumber(t.close);
    volume = mode == 2 ? 0 : readVolumeNumber(t.volume);
    marginBuy = mode == 1 ? readVolumeNumber(t.marginBuy) : 0;
    marginSell = mode == 1 ? readVolumeNumber(t.marginSell) : 0;
    if (close == 0) return formatFailure(closeZeroMessage);
    return 1;
}

}  // namespace quarlink
