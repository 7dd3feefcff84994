#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/sources/jquants_source.h"
#include "core/web/endpoints.h"

namespace quarlink {

// The whole market's days of past months from J-Quants' monthly bulk files,
// for a job that takes the market a day at a time (the catch-up): a month's
// file is downloaded once and served a day at a time, each day the rows the
// API answers for that date. Days a live (daily) file covers, days of a month
// without a file, and every day on a plan without files go through the API.
// Not thread-safe, except abort(); a day's calls may come from any one thread
// at a time.
class BulkDays {
public:
    BulkDays(const Endpoints& endpoints, JQuantsSource& api);
    ~BulkDays();

    // Lists the monthly files of the bars of barsFrom..barsTo and, when
    // marginFrom is not 0, of the balances of marginFrom..marginTo: one
    // /bulk/list a dataset. A plan configured or served without files leaves
    // every day to the API; any other failure is the answer that stops the job.
    SourceResult plan(std::int32_t barsFrom, std::int32_t barsTo, std::int32_t marginFrom, std::int32_t marginTo);
    // The rows of `day` from its month's file: Data, or NoData when no
    // planned file holds the day (ask the API). A file's rows are kept for
    // the month's other days; the file's skipped codes count on its first day served.
    SourceResult bars(std::int32_t day, jquants::DailyBars& out);
    SourceResult margins(std::int32_t day, jquants::MarginBalances& out);
    // The month files the planned days take, both datasets.
    std::size_t files() const;
    // The planned bar days a file holds.
    std::size_t barDays(const std::vector<std::int32_t>& days) const;
    // The file `day`'s bars came from, for the status line; empty for none.
    std::string barsFileName(std::int32_t day) const;

    void abort();
    void restart();
    // Forgets the plan and the rows kept.
    void clear();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quarlink
