#pragma once
#include "core/sources/data_source.h"
#include "core/store/application.h"
#include "core/sources/source_kind.h"
#include "core/web/html_value_format.h"

namespace quarlink {

// The finance pages as a data source, through the page reader: the quote
// page of the chosen service (InfoSeek or Yahoo) for the day's quotes, the
// price and margin tables for histories, the Nikkei average's table for the
// business days, the index download server's index.txt for the listed
// issues. The requests and the reading are the reader's own; its results
// become answers here and nowhere else.
class PageSource final : public DataSource,
                         DayQuote,
                         CodeBars,
                         MarginHistory,
                         IndexBars,
                         BusinessDays,
                         ListedIssues {
public:
    static constexpr int kInfoSeekNikkei = 100000018;
    static constexpr const char* kIndexPath = "/download/index.txt";
    static constexpr const char* kIndexSaveError = "indexファイル保存エラー";
    static constexpr const char* kIndexReadError = "取得インデックス読み込みエラー";
    static constexpr int kNikkeiHistory = 998407;
    static constexpr int kTopixHistory = 998405;

    PageSource(const Application& app, HtmlValueFormat& reader, SourceKind quotes)
        : app_(app), reader_(reader), quotes_(quotes) {}

    DayQuote* dayQuote() override { return this; }
    CodeBars* codeBars() override { return this; }
    MarginHistory* marginHistory() override { return this; }
    IndexBars* indexBars() override { return this; }
    BusinessDays* businessDays() override { return this; }
    ListedIssues* listedIssues() override { return this; }

    // Code 101, the Nikkei average, is always InfoSeek's page (it gives the
    // market date for both services).
    SourceResult dayQuote(int code, int mode, PriceRecord& record) override;
    // From 1 January of from's year through today, as the tables give it.
    SourceResult codeBars(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& rows) override;
    // The months from from's month through to's (the table's own span).
    SourceResult marginHistory(int code, std::int32_t from, std::int32_t to, MarginRows& rows) override;
    SourceResult indexBars(int indexCode, std::int32_t from, std::int32_t to, HistoryRows& rows) override;
    // The dates of the Nikkei average's table: read once a run, and given
    // again by indexBars(101) without a second request.
    SourceResult businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) override;
    static constexpr const char* kBusinessDaysStatus = "日経平均から日付データ取得";
    const char* businessDaysStatus() const override { return kBusinessDaysStatus; }
    void restart() override { nikkeiFrom_ = 0; }
    // The published index.txt, fetched whole and kept as the scratch file
    // "index" in the working folder (CR LF made LF, anything before "date="
    // dropped), then read back. A failed fetch is ConnectionFailed without
    // words of its own. A copy that cannot be kept or read back is Refused
    // with the whole message as its reason and no detail: the server said
    // nothing there, so a job puts no download failure in front of it.
    SourceResult listedIssues(const IndexTable& local, MasterIndex& list) override;

private:
    const Application& app_;
    HtmlValueFormat& reader_;
    SourceKind quotes_;
    std::int32_t nikkeiFrom_ = 0;  // the span of the Nikkei rows kept, 0 when none
    HistoryRows nikkei_;
};

}  // namespace quarlink
