#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/web/endpoints.h"
#include "core/web/page_fetcher.h"
#include "core/web/jquants/jquants_types.h"
#include "core/web/jquants/receive_buffer.h"

namespace quarlink::jquants {

// A libcurl failure (a CURLcode) as the user reads it.
std::string transferErrorText(int code);

// A J-Quants API v2 client over one reused libcurl handle (keep-alive, gzip,
// peer verification always on). Every call follows pagination to the end and
// paces requests to the plan's limit. Not thread-safe, except abort().
//
// An answer is all or nothing: a row that cannot be read or cannot be a
// price, a code twice in one day's answer (a date twice in one code's), more
// rows than such a request can have, a pagination_key given before, or pages
// that bring no rows end the call as Outcome::Unrecognised, naming what was
// wrong, and `out` stays empty.
class Client {
public:
    // Lines for the status line, e.g. a rate-limit wait.
    using StatusLine = std::function<void(const std::string&)>;
    static constexpr int kRateLimitRetries = 5;
    // A server error (5xx) or a time-out is asked again this many times, the
    // pause doubling from retry_wait_ms, as JPX's own clients do.
    static constexpr int kServerRetries = 3;
    // The limit of one page's body after decompression. The largest answers
    // are about 2 MB (a day of the whole market, one code's 20 years, the
    // listed master); a larger one is refused as it arrives. Reading a page
    // takes its own size, a few megabytes for parsing it a slice at a time,
    // and its rows.
    static constexpr std::size_t kMaxAnswerBytes = 64u << 20;
    // Rows one day (or the master) can have: about 4,400 issues are listed,
    // codes may hold letters since 2024.
    static constexpr std::size_t kMaxIssueRows = 20'000;
    // Pages that bring no row, in all, before the pages are taken for endless.
    static constexpr int kEmptyPages = 2;
    static constexpr std::chrono::milliseconds kRateLimitWait{65'000};

    // Base URL, pace, extra CA, timeout_ms and page_timeout_ms from endpoints.conf.
    // Its pacing and waits take the environment's steady clock and sleeper
    // (an abort ends a wait at once), as the page client does.
    Client(const Endpoints& endpoints, std::string apiKey, const WebEnvironment& environment,
           StatusLine status = {});
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    Status calendar(std::int32_t from, std::int32_t to, Calendar& out);
    Status dailyBarsByDate(std::int32_t date, DailyBars& out);
    Status dailyBarsByCode(int code, std::int32_t from, std::int32_t to, DailyBars& out);
    Status marginInterestByDate(std::int32_t date, MarginBalances& out);
    Status marginInterestByCode(int code, std::int32_t from, std::int32_t to, MarginBalances& out);
    Status topix(std::int32_t from, std::int32_t to, IndexBars& out);
    // Today's master; a plan whose window ends before today (Free) gets the
    // master of the window's last day.
    Status listedMaster(ListedMaster& out);

    // From any thread: the running request ends within about a second with
    // Outcome::Aborted, and so does every later one until resetAbort().
    void abort();
    void resetAbort() { aborted_.store(false); }

    int requestsPerMinute() const { return rpm_; }
    std::uint64_t requestsSent() const { return requests_; }
    std::uint64_t bytesReceived() const { return bytes_; }   // as on the wire, before decompression

private:
    struct Curl;
    // Parses one page into the query's rows: false with the reason when
    // refused, else the rows served so far.
    using PageParser = std::function<bool(std::string_view body, std::string& nextKey, std::string& why, std::size_t& rows)>;
    template <class Rows, class Key>
    Status collect(Rows& out, const std::string& path, const std::string& query, std::size_t maxRows,
                   bool (*parse)(std::string_view, Rows&, std::string&, std::string*, std::size_t), Key key);

    Status getAll(const std::string& path, const std::string& query, const PageParser& parse);
    Status getOne(const std::string& path, const std::string& url);
    Status refusal(const std::string& path, int status, const std::string& message) const;
    Status perform(const std::string& url, long& httpStatus, std::chrono::milliseconds& retryAfter);
    void maskKey();
    void pace();
    void wait(std::chrono::milliseconds span);
    std::string scrubbed(std::string text) const;

    ReceiveBuffer body_;
    std::unique_ptr<Curl> curl_;
    std::string base_;
    std::string key_;
    WebEnvironment env_;
    StatusLine status_;
    int rpm_ = 5;
    JQuantsPlan plan_ = JQuantsPlan::Free;
    std::chrono::milliseconds retryWait_{2000};
    std::string setupError_;
    std::atomic<bool> aborted_{false};
    bool started_ = false;
    SteadyClock::TimePoint lastStart_{};
    int lastCode_ = 0;  // the last transfer's CURLcode
    std::uint64_t requests_ = 0;
    std::uint64_t bytes_ = 0;

    // The bulk files. Both are requests like the others: paced, and asked
    // again after a server error or a rate-limit answer.
public:
    // The files of `endpoint` ("/equities/bars/daily") for the months
    // fromMonth..toMonth (YYYYMM, 0 for an open end), oldest first, every
    // page. A key that is not a relative path without ".." refuses the answer.
    Status bulkList(std::string_view endpoint, std::int32_t fromMonth, std::int32_t toMonth, BulkFiles& out);
    // The presigned http(s) URL of a listed file's key: it serves once, for
    // a few minutes, and wants no API key (BulkDownload fetches it).
    Status bulkUrl(const std::string& key, std::string& url);
};

}  // namespace quarlink::jquants
