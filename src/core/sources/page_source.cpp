#include "core/sources/page_source.h"

namespace quarlink {
namespace {

SourceResult readRows(HtmlValueFormat& reader, int serviceCode, std::int32_t from, int mode, HistoryRows& rows) {
    rows = {};
    reader.message.clear();
    const int result = reader.ReadPriceHistory(serviceCode, from / 10000, mode, rows.dates, rows.opens, rows.highs,
                                               rows.lows, rows.closes, rows.volumes, rows.buys, rows.sells);
    return pageAnswer(result, reader.message);
}

}  // namespace

SourceResult PageSource::dayQuote(int code, int mode, PriceRecord& r) {
    reader_.message.clear();
    const int result =
        code == 101 ? reader_.ReadInfoSeekQuote(kInfoSeekNikkei, mode, r.date, r.open, r.high, r.low, r.close,
                                                r.volume, r.marginBuy, r.marginSell)
        : quotes_ == SourceKind::Yahoo
            ? reader_.ReadYahooQuote(code, mode, r.date, r.open, r.high, r.low, r.close, r.volume, r.marginBuy,
                                     r.marginSell)
            : reader_.ReadInfoSeekQuote(code, mode, r.date, r.open, r.high, r.low, r.close, r.volume, r.marginBuy,
                                        r.marginSell);
    return pageAnswer(result, reader_.message);
}

SourceResult PageSource::codeBars(int code, std::int32_t from, std::int32_t, bool margin, HistoryRows& rows) {
    return readRows(reader_, code, from, margin ? 1 : 0, rows);
}

SourceResult PageSource::marginHistory(int code, std::int32_t from, std::int32_t to, MarginRows& rows) {
    rows = {};
    reader_.message.clear();
    const int months = (to / 10000 * 12 + to / 100 % 100) - (from / 10000 * 12 + from / 100 % 100);
    return pageAnswer(reader_.ReadMarginHistory(code, months, rows.dates, rows.buys, rows.sells), reader_.message);
}

SourceResult PageSource::indexBars(int indexCode, std::int32_t from, std::int32_t to, HistoryRows& rows) {
    if (indexCode == 101 && nikkeiFrom_ == from) {
        rows = nikkei_;
        return {};
    }
    const SourceResult r = readRows(reader_, indexCode == 101 ? kNikkeiHistory : kTopixHistory, from, 2, rows);
    if (indexCode == 101 && r.answer == Answer::Data) nikkeiFrom_ = from, nikkei_ = rows;
    (void)to;
    return r;
}

SourceResult PageSource::businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) {
    HistoryRows rows;
    const SourceResult r = indexBars(101, from, to, rows);
    days = std::move(rows.dates);
    return r;
}

}  // namespace quarlink
