#pragma once
#include <cstdint>
#include <vector>

#include "core/sources/history_rows.h"
#include "core/sources/master_index.h"
#include "core/sources/source_result.h"
#include "core/store/price_record.h"
#include "core/web/jquants/jquants_types.h"

namespace quarlink {

// The questions the jobs ask a data source, one interface each. A source
// implements those it can answer (DataSource says which); a job asks only
// through them and never looks at which source it has. Every answer is a
// SourceResult; on anything but Data the out-parameter holds nothing useful.

// The exchange's business days in from..to, ascending.
class BusinessDays {
public:
    virtual ~BusinessDays() = default;
    virtual SourceResult businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) = 0;
    // The status line while a job takes them (where they come from).
    virtual const char* businessDaysStatus() const = 0;
};

// One code's bars over a span, with its margin balances on their rows when
// `margin` (and the source has them).
class CodeBars {
public:
    virtual ~CodeBars() = default;
    virtual SourceResult codeBars(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& rows) = 0;
};

// One code's margin balances over a span.
class MarginHistory {
public:
    virtual ~MarginHistory() = default;
    virtual SourceResult marginHistory(int code, std::int32_t from, std::int32_t to, MarginRows& rows) = 0;
};

// An index's bars over a span, in hundredths (101 Nikkei average, 102 TOPIX).
class IndexBars {
public:
    virtual ~IndexBars() = default;
    virtual SourceResult indexBars(int indexCode, std::int32_t from, std::int32_t to, HistoryRows& rows) = 0;
};

// The stock codes (1000..9999) listed today, ascending.
class ListedCodes {
public:
    virtual ~ListedCodes() = default;
    virtual SourceResult listedCodes(std::vector<int>& codes) = 0;
};

// The exchange's list of listed issues as of today, in the form of a
// published index.txt: names, markets, units. What the source does not know
// (the units of known codes, the flags) comes from `local`.
class ListedIssues {
public:
    virtual ~ListedIssues() = default;
    virtual SourceResult listedIssues(const IndexTable& local, MasterIndex& list) = 0;
};

// The whole market a day at a time, for a source whose days come whole (the
// catch-up's question): the exchange's business days as served, every
// code's bars of a day, the margin balances asked for a day, TOPIX over a
// span. Nothing is narrowed to a plan's window: an answer outside it is
// OutsidePlan with the window's dates, and the job says what to do.
class MarketDays {
public:
    virtual ~MarketDays() = default;
    virtual SourceResult marketCalendar(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) = 0;
    virtual SourceResult marketBars(std::int32_t day, jquants::DailyBars& bars) = 0;
    virtual SourceResult marketMargins(std::int32_t day, jquants::MarginBalances& balances) = 0;
    virtual SourceResult marketTopix(std::int32_t from, std::int32_t to, jquants::IndexBars& bars) = 0;
};

// One code's quote of the current market day (the daily update): the
// record of its date; `mode` 0 prices and volume, 1 with margin balances,
// 2 prices only.
class DayQuote {
public:
    virtual ~DayQuote() = default;
    virtual SourceResult dayQuote(int code, int mode, PriceRecord& record) = 0;
};

}  // namespace quarlink
