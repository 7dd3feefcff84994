#include "core/sources/page_source.h"

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/index_table.h"

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

SourceResult PageSource::indexBars(int indexCode, std::int32_t from, std::int32_t /*to*/, HistoryRows& rows) {
    if (indexCode == 101 && nikkeiFrom_ == from) {
        rows = nikkei_;
        return {};
    }
    const SourceResult r = readRows(reader_, indexCode == 101 ? kNikkeiHistory : kTopixHistory, from, 2, rows);
    if (indexCode == 101 && r.answer == Answer::Data) nikkeiFrom_ = from, nikkei_ = rows;
    return r;
}

SourceResult PageSource::businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) {
    HistoryRows rows;
    const SourceResult r = indexBars(101, from, to, rows);
    days = std::move(rows.dates);
    return r;
}

SourceResult PageSource::listedIssues(const IndexTable&, MasterIndex& list) {
    list = {};
    const Endpoint& server = reader_.endpoints().index;
    std::string response;
    if (!server.configured() || reader_.fetcher().fetch(server.host, server.port, kIndexPath, response) != 1)
        return SourceResult::of(Answer::ConnectionFailed);
    std::string text;
    text.reserve(response.size());
    for (std::size_t i = 0; i < response.size(); ++i) {
        if (response[i] == '\r' && i + 1 < response.size() && response[i + 1] == '\n') continue;
        text.push_back(response[i]);
    }
    if (const auto at = text.find("date="); at != std::string::npos) text.erase(0, at);

    const auto scratch = layout::indexDownloadFile(app_);
    std::string error;
    // The download worked; the user has to learn why the copy could not be kept.
    if (!replaceFileAtomically(scratch, text, &error))
        return SourceResult::localFailure(std::string(PageSource::kIndexSaveError) + "\n" + error);
    if (!loadIndexTable(scratch, list.table)) return SourceResult::localFailure(PageSource::kIndexReadError);
    return {};
}

}  // namespace quarlink
