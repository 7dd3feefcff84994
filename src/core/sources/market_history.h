#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/sources/data_source.h"
#include "core/sources/jquants_source.h"
#include "core/store/application.h"
#include "core/web/endpoints.h"

namespace quarlink {

// What gathering a span will cost, said before it starts (the dialog, --dry-run).
struct HistoryCost {
    std::size_t files = 0;           // bulk files to download (0 on Free)
    std::size_t requests = 0;        // API requests: list, get, calendar, and whole-market days on Free
    std::uint64_t bytes = 0;         // to download, as listed (0 when unknown: the days of Free)
    int requestsPerMinute = 0;       // the pace kept
    std::chrono::seconds time{0};    // requests at that pace
    JQuantsPlan plan = JQuantsPlan::Free;
    bool bulk = false;               // from the bulk files; false: whole-market days through the API
};

// The whole market's history over a span, gathered before a code-by-code
// job (the initial data) reads it: from J-Quants' bulk files on Light and
// above (a file a month, the live files of the days since), or on Free, whose
// plan has no files but the calendar, a whole-market day a request through
// the API; never one code over all dates. The gathered rows wait in the
// working folder (kFolder), a file per code, so that the job's codes read
// them one at a time and memory stays one file's worth whatever the span.
//
// It answers the code-by-code questions from what it gathered, exactly as
// the API source answers them code by code (the same rounding, fillers'
// last served day, balances on their record dates, splits), so both give
// the same files; the calendar and the listed codes it asks the API.
class JQuantsHistory final : public DataSource, CodeBars, MarginHistory, IndexBars, BusinessDays, ListedCodes {
public:
    static constexpr const char* kFolder = "history";  // under the working folder

    JQuantsHistory(const Application& app, Endpoints endpoints, const WebEnvironment& environment);
    ~JQuantsHistory() override;

    // The API source underneath: its key, client and waits (set its
    // environment and onWait before connect()).
    JQuantsSource& api();

    SourceResult connect() override;
    void abort() override;
    void restart() override;
    std::string notes() const override;
    bool rationed() const override { return true; }

    CodeBars* codeBars() override { return this; }
    MarginHistory* marginHistory() override { return this; }
    IndexBars* indexBars() override { return this; }
    BusinessDays* businessDays() override { return this; }
    ListedCodes* listedCodes() override { return this; }
    JQuantsHistory* history() override { return this; }

    // Lists what from..to takes (margin balances with `margin`, on a plan
    // that has them; TOPIX with `topix`) and what it will cost. A run that
    // gathered part of a span of the same start and data before (its end may
    // be earlier: a run resumed another day) goes on after the files (or
    // days) it took in whole; a file whose LastModified or Size changed since
    // is taken again. An answer other than Data stops the job.
    // Without `bars`, the margin balances alone (the margin fill).
    SourceResult plan(std::int32_t from, std::int32_t to, bool margin, bool topix, HistoryCost& cost, bool bars = true);
    // Gathers the next file (or day): Data while some are left, NoData once
    // all are in. `status` names what was taken, for the status line.
    SourceResult gatherNext(std::string& status);
    // Instead of keeping the bars, hands each one of the span to `watch` as
    // it comes (the split scan reads the factors): nothing is written, and
    // plan() starts from the first unit. Set before plan(); {} to keep them again.
    void watchBars(std::function<void(const jquants::DailyBar&)> watch);
    std::size_t gatheredCount() const;
    std::size_t totalCount() const;
    // Removes the gathered rows once every code is written.
    void discard();

    // From the gathered rows, as JQuantsSource answers them code by code.
    SourceResult codeBars(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& rows) override;
    // The balances gathered for `code` (OutsidePlan when the plan has none),
    // as JQuantsSource answers them.
    SourceResult marginHistory(int code, std::int32_t from, std::int32_t to, MarginRows& rows) override;
    // TOPIX (102) from the gathered rows; no Nikkei average (said in the notes).
    SourceResult indexBars(int indexCode, std::int32_t from, std::int32_t to, HistoryRows& rows) override;
    SourceResult businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) override;
    const char* businessDaysStatus() const override { return jquants_text::kCalendarStatus; }
    SourceResult listedCodes(std::vector<int>& codes) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quarlink
