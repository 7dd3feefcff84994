#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarlink::jquants {

// Dates are YYYYMMDD numbers, as everywhere else in the program.

// How a request ended. Everything but Ok stops the caller's run; the kinds
// map onto the jobs' exit codes (key refused 1, connection 2, page 3).
enum class Outcome {
    Ok,
    KeyRefused,         // 401, or a 403 that names the key
    NotInPlan,          // the plan does not include this data (403 or "No approval received")
    PlanWindow,         // 400 naming the dates the plan covers (windowFrom/windowTo)
    ConnectionFailed,   // 5xx, refused/broken connection, time-out, 429 after the last retry
    Unrecognised,       // a body that is not the documented JSON, or a row that cannot be a price
    Aborted,            // abort() was called
    Expired,            // a bulk file's download URL refused (used or out of date): ask a new one
};

struct Status {
    Outcome outcome = Outcome::Ok;
    int httpStatus = 0;        // 0 when no answer came
    std::string message;       // for the user; never holds the key
    std::int32_t windowFrom = 0;  // PlanWindow: first covered date
    std::int32_t windowTo = 0;    // PlanWindow: last covered date, 0 when open-ended

    bool ok() const { return outcome == Outcome::Ok; }
};

struct CalendarDay {
    std::int32_t date = 0;
    int holDiv = 0;  // 0 closed, 1 open, 2 half day, 3 closed with holiday trading
    bool businessDay() const { return holDiv == 1 || holDiv == 2; }
};

// One issue's day. Only ordinary shares with a four-digit code 1000..9999
// (five-character code ending in 0) are kept; prices are the unadjusted ones.
struct DailyBar {
    std::int32_t date = 0;
    int code = 0;
    bool traded = false;   // false: no trade that day, prices and volume are 0
    double open = 0, high = 0, low = 0, close = 0, volume = 0;
    // The price adjustment factor: other than 1 on the ex-rights date of a
    // split (0.5 for 1:2) or a consolidation (10 for 1:10).
    double adjFactor = 1;
};

struct MarginBalance {
    std::int32_t date = 0;  // the record date the balances refer to
    int code = 0;
    double longVol = 0;     // margin buy balance, shares
    double shortVol = 0;    // margin sell balance, shares
    std::int32_t pubDate = 0;  // when it was published, 0 when not served (weekly rows)
};

struct IndexBar {
    std::int32_t date = 0;
    double open = 0, high = 0, low = 0, close = 0;
};

struct ListedIssue {
    std::int32_t date = 0;
    std::string code;      // five characters as served, letters included
    int stockCode = 0;     // 1000..9999 for an ordinary share, else 0
    std::string name;      // UTF-8
    std::string market;    // Mkt
};

// Rows of every page of one query. `otherCodes`: rows of codes that are not
// ordinary four-digit shares (letters, other share classes, below 1000),
// skipped on purpose. A row that cannot be read refuses the whole answer
// (Outcome::Unrecognised).
template <class Row>
struct Rows {
    std::vector<Row> rows;
    std::size_t otherCodes = 0;
    std::size_t missingValues = 0;  // rows left out for want of a value they must have (a balance, a close)
    std::size_t corrections = 0;    // margin rows replaced by a newer publication of the same record date
    int pages = 0;
};

using Calendar = Rows<CalendarDay>;
using DailyBars = Rows<DailyBar>;
using MarginBalances = Rows<MarginBalance>;
using IndexBars = Rows<IndexBar>;
using ListedMaster = Rows<ListedIssue>;

// The ordinary-share stock code of a served code ("72030" -> 7203), else 0.
int stockCodeOf(std::string_view code);

// One file of /bulk/list: a month (historical) or a day (live) of a dataset
// as gzip CSV, e.g. equities/bars/daily/historical/2025/equities_bars_daily_202501.csv.gz.
struct BulkFile {
    std::string key;           // a relative path: no "..", no leading "/", no control bytes
    std::string lastModified;  // as served (ISO 8601); a file corrected later keeps its key
    std::uint64_t size = 0;    // bytes as stored, compressed
};
using BulkFiles = Rows<BulkFile>;

}  // namespace quarlink::jquants
