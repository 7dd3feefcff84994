#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/env/clock.h"
#include "core/web/endpoints.h"
#include "core/web/page_fetcher.h"

namespace quarlink {

// The page reader: cuts values out of the finance pages by marker strings.
// Results: 1 read, -1 no data for this code, -2 fetch failed, -3 page layout
// not recognised (`message` names the step). The read operations are virtual
// so that job tests can script a reader without pages.
class HtmlValueFormat {
public:
    HtmlValueFormat(PageFetcher& fetcher, const Endpoints& endpoints, const Clock& clock)
        : fetcher_(fetcher), endpoints_(endpoints), clock_(clock) {}
    virtual ~HtmlValueFormat() = default;

    const Clock& clock() const { return clock_; }
    PageFetcher& fetcher() const { return fetcher_; }
    const Endpoints& endpoints() const { return endpoints_; }

    std::string message;  // diagnostic text of the last -3
    std::int32_t year = 0;
    std::int32_t month = 0;

    // mode 0: prices and volume; 1: also margin balances; 2: prices only.
    virtual int ReadYahooQuote(int code, int mode, std::int32_t& date, std::int32_t& open, std::int32_t& high,
                               std::int32_t& low, std::int32_t& close, std::int32_t& volume,
                               std::int32_t& marginBuy, std::int32_t& marginSell);
    virtual int ReadInfoSeekQuote(int code, int mode, std::int32_t& date, std::int32_t& open, std::int32_t& high,
                                  std::int32_t& low, std::int32_t& close, std::int32_t& volume,
                                  std::int32_t& marginBuy, std::int32_t& marginSell);
    // Empties the eight series, then appends each page's rows oldest first;
    // after a failure they hold the pages read before it.
    virtual int ReadPriceHistory(int code, int startYear, int mode, std::vector<std::int32_t>& dates,
                                 std::vector<std::int32_t>& opens, std::vector<std::int32_t>& highs,
                                 std::vector<std::int32_t>& lows, std::vector<std::int32_t>& closes,
                                 std::vector<std::int32_t>& volumes, std::vector<std::int32_t>& buys,
                                 std::vector<std::int32_t>& sells);
    virtual int ReadMarginHistory(int code, int months, std::vector<std::int32_t>& dates,
                                  std::vector<std::int32_t>& buys, std::vector<std::int32_t>& sells);

    // The year that puts the page's month and day nearest to `today` (the
    // clock's year, the one before or the one after); the clock's year when
    // month or day is out of range.
    static int quoteYear(const LocalDateTime& today, int month, int day);

protected:
    // The texts a quote page yields, before the number rules.
    struct QuoteTexts {
        std::string_view open, high, low, close, volume;
        std::string_view marginBuy = "0", marginSell = "0";
    };

    // Sets `year` and `month` from the clock, as every quote read starts.
    LocalDateTime startQuoteRead();

    // Converts the texts into the eight outputs by the price and volume rules
    // (volume 0 in mode 2, margin balances 0 unless mode 1); -3 with
    // `dateMessage` when the page's date is no calendar day or lies after
    // `today`, -3 with `closeZeroMessage` when the close reads 0, else 1.
    int deliverQuote(const QuoteTexts& texts, const LocalDateTime& today, int pageYear, int pageMonth,
                     int pageDay, int mode, std::int32_t& date, std::int32_t& open, std::int32_t& high,
                     std::int32_t& low, std::int32_t& close, std::int32_t& volume, std::int32_t& marginBuy,
                     std::int32_t& marginSell, const char* dateMessage, const char* closeZeroMessage);

    // One GET from the endpoint; false when the fetch failed.
    bool fetchPage(const Endpoint& endpoint, const std::string& path, std::string& page);
    int formatFailure(const char* text);

    PageFetcher& fetcher_;
    const Endpoints& endpoints_;
    const Clock& clock_;
};

}  // namespace quarlink
