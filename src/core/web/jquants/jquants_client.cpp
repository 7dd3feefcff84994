#include "core/web/jquants/jquants_client.h"

#include <algorithm>
#include <cstring>
#include <curl/curl.h>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"
#include "core/store/number_text.h"
#include "core/web/jquants/bulk_list.h"
#include "core/web/jquants/curl_transfer.h"
#include "core/web/jquants/jquants_json.h"
#include "core/web/jquants/jquants_text.h"
#include "core/web/jquants/unit_rows.h"

namespace quarlink::jquants {

namespace {

// A pagination_key is a short opaque token; a long one would only grow every URL.
constexpr std::size_t kMaxKeyBytes = 4096;
// Open ends of a date range: the exchange's reopening, a day far ahead.
constexpr std::int32_t kFirstDay = 19490516, kLastDay = 21001231;
constexpr std::string_view kWindowText = "Your subscription covers the following dates:";

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "... dates: 2024-05-31 ~ 2026-05-31. If you ..." (the end may be missing).
void readWindow(std::string_view message, Status& status) {
    std::string_view rest = message.substr(kWindowText.size());
    const auto date = [&]() -> std::int32_t {
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '~')) rest.remove_prefix(1);
        if (rest.size() < 10) return 0;
        const std::int32_t value = parseDate(rest.substr(0, 10));
        if (value) rest.remove_prefix(10);
        return value;
    };
    status.windowFrom = date();
    status.windowTo = date();
}

std::string when(std::int32_t date) { return date ? isoDate(date) : std::string(jquants_text::kOpenEnd); }

// Rows a range of dates can have: one a day at most.
std::size_t daysIn(std::int32_t from, std::int32_t to) {
    using namespace std::chrono;
    const auto days = [](std::int32_t d, std::int32_t open) {
        const std::int32_t v = d && validDate(d) ? d : open;
        return sys_days{year{v / 10000} / month{unsigned(v / 100 % 100)} / day{unsigned(v % 100)}};
    };
    const auto span = (days(to, kLastDay) - days(from, kFirstDay)).count();
    return span < 0 ? 1 : static_cast<std::size_t>(span) + 1;
}

std::string codeText(int code) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d0", code);
    return text;
}

// What two rows of one answer must not share, and how such a row is named.
template <class Row>
struct RowKey {
    std::int64_t (*key)(const Row&) = nullptr;  // none: rows may repeat
    std::string (*name)(const Row&) = nullptr;
};
// An answer that is one unit of the market (a day, a span of TOPIX): its
// rows pass the same check as a bulk file's.
struct Unit {
    std::int32_t first = 0, last = 0;
};
}  // namespace

std::string transferErrorText(int code) {
    // The failures a user meets, in words; the rarer ones in libcurl's.
    switch (static_cast<CURLcode>(code)) {
    case CURLE_COULDNT_RESOLVE_HOST: return jquants_text::kNoHostName;
    case CURLE_COULDNT_CONNECT: return jquants_text::kCannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return jquants_text::kTimedOut;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE: return jquants_text::kCutOff;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE: return jquants_text::kNoTrust;
    default: return fillIn(jquants_text::kLibraryError, {curl_easy_strerror(static_cast<CURLcode>(code))});
    }
}

struct Client::Curl {
    CURL* handle = nullptr;
    curl_slist* headers = nullptr;
    ReceiveBuffer* body = nullptr;
    std::chrono::milliseconds retryAfter{-1};
    bool tooLarge = false;

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto* curl = static_cast<Curl*>(self);
        const std::size_t n = size * count;
        if (!curl->body->append(data, n)) {
            curl->tooLarge = true;
            return 0;
        }
        return n;
    }
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto* curl = static_cast<Curl*>(self);
        std::string_view line(data, size * count);
        constexpr std::string_view kName = "retry-after:";
        if (line.size() > kName.size() &&
            std::equal(kName.begin(), kName.end(), line.begin(), [](char a, char b) { return a == (b | 0x20); })) {
            long seconds = 0;
            bool digits = false;
            for (char c : line.substr(kName.size())) {
                if (c >= '0' && c <= '9') seconds = std::min(seconds * 10 + (c - '0'), 86'400L), digits = true;
                else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return size * count;  // an HTTP date: ignore
            }
            if (digits) curl->retryAfter = std::chrono::seconds(seconds);
        }
        return size * count;
    }
    AbortableSockets sockets;
};

Client::Client(const Endpoints& endpoints, std::string apiKey, const WebEnvironment& environment, StatusLine status)
    : body_(kMaxAnswerBytes),
      curl_(std::make_unique<Curl>()),
      base_(endpoints.jquants),
      key_(std::move(apiKey)),
      env_(environment),
      status_(std::move(status)) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    rpm_ = endpoints.jquantsRpm ? *endpoints.jquantsRpm : planFacts(endpoints.jquantsPlan).requestsPerMinute;
    plan_ = endpoints.jquantsPlan;
    retryWait_ = std::chrono::milliseconds(std::max(0, endpoints.retryWaitMs));

    CURL* h = curl_->handle = curl_easy_init();
    if (!h) {
        setupError_ = jquants_text::kNoHttps;
        return;
    }
    curl_->sockets.aborted = &aborted_;
    curl_->body = &body_;
    curl_->headers = curl_slist_append(curl_->headers, ("x-api-key: " + key_).c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, curl_->headers);
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Curl::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, curl_.get());
    // A Content-Length over the limit (the compressed size under gzip) is refused before the body comes.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kMaxAnswerBytes));
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Curl::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, curl_.get());
    setupError_ = setUpTransfer(h, endpoints, curl_->sockets);
}

void Client::abort() {
    aborted_.store(true);
    curl_->sockets.shutDown();
}

Client::~Client() {
    if (curl_->handle) curl_easy_cleanup(curl_->handle);
    curl_slist_free_all(curl_->headers);
}

std::string Client::scrubbed(std::string text) const {
    // A server may echo what it was sent; the key must not reach the user's screen or logs.
    if (key_.size() >= 4)
        for (std::size_t at; (at = text.find(key_)) != std::string::npos;) text.replace(at, key_.size(), "(key)");
    return text;
}

void Client::wait(std::chrono::milliseconds span) {
    if (span.count() <= 0) return;
    env_.sleeper->sleepFor(span, [this] { return aborted_.load(); });
}

void Client::pace() {
    if (rpm_ > 0 && started_) {
        const auto gap = std::chrono::milliseconds((60'000 + rpm_ - 1) / rpm_);
        const auto due = lastStart_ + gap;
        const auto now = env_.steady->now();
        if (now < due) wait(std::chrono::duration_cast<std::chrono::milliseconds>(due - now));
    }
    started_ = true;
    lastStart_ = env_.steady->now();
}

void Client::maskKey() {
    // A server that echoes the key gets it masked before any part of the body can reach a message.
    if (key_.size() < 4) return;
    char* at = body_.data();
    std::size_t left = body_.view().size();
    while (void* found = ::memmem(at, left, key_.data(), key_.size())) {
        char* hit = static_cast<char*>(found);
        std::memset(hit, '*', key_.size());
        left -= static_cast<std::size_t>(hit - at) + key_.size();
        at = hit + key_.size();
    }
}

Status Client::perform(const std::string& url, long& httpStatus, std::chrono::milliseconds& retryAfter) {
    body_.clear();
    curl_->retryAfter = std::chrono::milliseconds(-1);
    curl_->tooLarge = false;
    curl_easy_setopt(curl_->handle, CURLOPT_URL, url.c_str());
    const CURLcode code = curl_easy_perform(curl_->handle);
    lastCode_ = code;
    ++requests_;
    curl_off_t received = 0;
    if (curl_easy_getinfo(curl_->handle, CURLINFO_SIZE_DOWNLOAD_T, &received) == CURLE_OK) bytes_ += received;
    httpStatus = 0;
    curl_easy_getinfo(curl_->handle, CURLINFO_RESPONSE_CODE, &httpStatus);
    retryAfter = curl_->retryAfter;
    if (aborted_) return {Outcome::Aborted, 0, jquants_text::kStopped};
    if (curl_->tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        return {Outcome::Unrecognised, int(httpStatus),
                fillIn(jquants_text::kTooLarge, {std::to_string(kMaxAnswerBytes >> 20)})};
    maskKey();
    if (code != CURLE_OK)
        return {Outcome::ConnectionFailed, 0,
                scrubbed(fillIn(jquants_text::kNoConnection, {base_, transferErrorText(code)}))};
    return {};
}

namespace {
// Data some plans lack, the first plan that has it, and how it is named.
struct PlanData {
    std::string_view path, plan, name;
};
constexpr PlanData kPlanData[] = {
    {"/markets/margin-interest", cheapestPlanWith([](const JQuantsPlanFacts& f) { return f.hasMargin; }).label,
     jquants_text::kMarginBalances},
    {"/indices/bars/daily/topix", cheapestPlanWith([](const JQuantsPlanFacts& f) { return f.hasTopix; }).label, "TOPIX"},
};

// Failures that pass: a busy or restarting server, a lost or silent connection.
bool transient(CURLcode code) {
    return code == CURLE_OPERATION_TIMEDOUT || code == CURLE_COULDNT_CONNECT || code == CURLE_GOT_NOTHING ||
           code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_PARTIAL_FILE;
}
}  // namespace

Status Client::refusal(const std::string& path, int status, const std::string& message) const {
    // The server's own words, shown escaped and cut short.
    const std::string said = message.empty() ? "" : fillIn(jquants_text::kServerSaid, {echoText(message, 200)});
    const bool aboutKey = message.find("api key") != std::string::npos || message.find("API key") != std::string::npos;
    const auto gated = std::find_if(std::begin(kPlanData), std::end(kPlanData),
                                    [&](const PlanData& d) { return path == d.path; });
    // 403 is also what data outside the plan answers, without a word said;
    // only data that some plans lack can be that.
    if (status == 403 && !aboutKey && gated != std::end(kPlanData))
        return {Outcome::NotInPlan, status,
                fillIn(jquants_text::kDataNotInPlan, {std::string(gated->name), path, planFacts(plan_).name,
                                                      std::string(gated->plan), said})};
    if (status == 401 || (status == 403 && (aboutKey || message.empty())))
        return {Outcome::KeyRefused, status, fillIn(jquants_text::kKeyNotAccepted, {said})};
    if (status == 403 || (status == 400 && startsWith(message, "No approval")))
        return {Outcome::NotInPlan, status, fillIn(jquants_text::kDataOutsidePlan, {said})};
    if (status == 400 && startsWith(message, kWindowText)) {
        Status window{Outcome::PlanWindow, status, {}};
        readWindow(message, window);
        window.message = fillIn(jquants_text::kPlanCovers, {when(window.windowFrom), when(window.windowTo)});
        return window;
    }
    if (status >= 500)
        return {Outcome::ConnectionFailed, status, fillIn(jquants_text::kServerError, {std::to_string(status), said})};
    return {Outcome::Unrecognised, status, fillIn(jquants_text::kUnexpectedHttp, {std::to_string(status), said})};
}

Status Client::getOne(const std::string& path, const std::string& url) {
    if (!setupError_.empty()) return {Outcome::ConnectionFailed, 0, setupError_};
    int limited = 0, failed = 0;
    for (;;) {
        if (aborted_) return {Outcome::Aborted, 0, jquants_text::kStopped};
        pace();
        long http = 0;
        std::chrono::milliseconds retryAfter{};
        Status answer = perform(url, http, retryAfter);
        const int status = static_cast<int>(http);
        if (answer.ok()) {
            if (status == 200) return {Outcome::Ok, status, {}};
            if (status == 210) {  // "no content (partial)": no rows
                body_.assign(R"({"data":[]})");
                return {Outcome::Ok, status, {}};
            }
            answer = refusal(path, status, scrubbed(errorMessage(body_.view())));
        }
        if (status == 429) {
            if (limited == kRateLimitRetries)
                return {Outcome::ConnectionFailed, status,
                        fillIn(jquants_text::kStillLimited, {std::to_string(kRateLimitRetries)})};
            const auto pause = retryAfter.count() >= 0 ? std::min(retryAfter, kRateLimitWait) : kRateLimitWait;
            if (status_)
                status_(fillIn(jquants_text::kLimitWait, {std::to_string((pause.count() + 999) / 1000),
                                                          std::to_string(++limited), std::to_string(kRateLimitRetries)}));
            else
                ++limited;
            wait(pause);
            continue;
        }
        const bool again = answer.outcome == Outcome::ConnectionFailed &&
                           (status >= 500 || (status == 0 && transient(static_cast<CURLcode>(lastCode_))));
        if (!again || failed == kServerRetries) return answer;
        const auto pause = retryWait_ * (1 << failed);
        ++failed;
        if (status_)
            status_(fillIn(jquants_text::kAskingAgain,
                           {status ? fillIn(jquants_text::kServerBusy, {std::to_string(status)})
                                   : fillIn(jquants_text::kConnectionLost, {transferErrorText(lastCode_)}),
                            std::to_string((pause.count() + 999) / 1000), std::to_string(failed),
                            std::to_string(kServerRetries)}));
        wait(pause);
    }
}

Status Client::getAll(const std::string& path, const std::string& query, const PageParser& parse) {
    const auto refused = [&](const std::string& why) {
        return Status{Outcome::Unrecognised, 200, scrubbed(fillIn(jquants_text::kUnreadable, {path, why}))};
    };
    // The answer's pages go back to the system however the query ends.
    const std::unique_ptr<ReceiveBuffer, void (*)(ReceiveBuffer*)> release(&body_, [](ReceiveBuffer* b) { b->release(); });
    std::string next;
    std::unordered_set<std::size_t> keys;
    std::size_t rows = 0;
    for (std::size_t pages = 1;; ++pages) {
        std::string url = base_ + path + (query.empty() && next.empty() ? "" : "?") + query;
        if (!next.empty()) {
            char* escaped = curl_easy_escape(curl_->handle, next.c_str(), static_cast<int>(next.size()));
            url += (query.empty() ? "" : "&") + std::string("pagination_key=") + (escaped ? escaped : "");
            curl_free(escaped);
        }
        if (Status status = getOne(path, url); !status.ok()) return status;
        std::string why;
        if (!parse(body_.view(), next, why, rows)) return refused(why);
        if (next.empty()) return {};
        // A server whose pages never end: each page must bring rows, and a key
        // must lead somewhere new.
        if (pages > rows + std::size_t(kEmptyPages))
            return refused(fillIn(jquants_text::kEndlessPages, {std::to_string(pages), std::to_string(rows)}));
        if (next.size() > kMaxKeyBytes) return refused(fillIn(jquants_text::kLongPageKey, {std::to_string(next.size())}));
        if (!keys.insert(std::hash<std::string>{}(next)).second)
            return refused(fillIn(jquants_text::kRepeatedPageKey, {std::to_string(pages)}));
    }
}

template <class Rows, class Key>
Status Client::collect(Rows& out, const std::string& path, const std::string& query, std::size_t maxRows,
                       bool (*parse)(std::string_view, Rows&, std::string&, std::string*, std::size_t), Key key) {
    out = {};
    Rows got;
    std::unordered_set<std::int64_t> seen;
    using Row = typename decltype(got.rows)::value_type;
    [[maybe_unused]] UnitRows<Row> unit;
    if constexpr (std::is_same_v<Key, Unit>) unit.begin(key.first, key.last);
    Status status = getAll(path, query, [&](std::string_view body, std::string& next, std::string& why, std::size_t& rows) {
        const std::size_t before = got.rows.size();
        if (!parse(body, got, next, &why, maxRows)) return false;
        // Checked page by page: a server that serves the same rows again under new keys ends at once.
        if constexpr (std::is_same_v<Key, Unit>) {
            std::vector<Row> page(std::make_move_iterator(got.rows.begin() + static_cast<std::ptrdiff_t>(before)),
                                  std::make_move_iterator(got.rows.end()));
            got.rows.resize(before);
            for (Row& row : page) {
                got.rows.push_back(std::move(row));
                if (why = unit.admit(got.rows); !why.empty()) return false;
            }
            got.corrections = unit.corrections();
        } else {
            for (std::size_t i = before; key.key && i < got.rows.size(); ++i)
                if (!seen.insert(key.key(got.rows[i])).second) {
                    why = fillIn(jquants_text::kTwiceInAnswer, {key.name(got.rows[i])});
                    return false;
                }
        }
        rows = got.rows.size() + got.otherCodes;
        return true;
    });
    if (status.ok()) out = std::move(got);
    return status;
}

namespace {
std::string range(std::int32_t from, std::int32_t to) {
    std::string query;
    if (from) query += "from=" + isoDate(from);
    if (to) query += (query.empty() ? "" : "&") + std::string("to=") + isoDate(to);
    return query;
}
std::string codeQuery(int code, std::int32_t from, std::int32_t to) {
    const std::string dates = range(from, to);
    return "code=" + std::to_string(code) + (dates.empty() ? "" : "&" + dates);
}

std::string fieldValue(const char* field, const std::string& value) {
    return fillIn(jquants_text::kFieldAndValue, {fillIn(jquants_text::kField, {field}), value});
}
std::string dateName(std::int32_t date) { return fieldValue("Date", isoDate(date)); }
template <class Row>
std::string codeDateName(const Row& r) {
    return fillIn(jquants_text::kRowOfCode, {codeText(r.code)}) + dateName(r.date);
}
const RowKey<CalendarDay> kCalendarKey{[](const CalendarDay& d) { return std::int64_t(d.date); },
                                       [](const CalendarDay& d) { return dateName(d.date); }};
const RowKey<IndexBar> kIndexKey{[](const IndexBar& b) { return std::int64_t(b.date); },
                                 [](const IndexBar& b) { return dateName(b.date); }};
template <class Row>
const RowKey<Row> kCodeDateKey{[](const Row& r) { return std::int64_t(r.code) << 32 | r.date; }, codeDateName<Row>};
}  // namespace

Status Client::calendar(std::int32_t from, std::int32_t to, Calendar& out) {
    return collect(out, "/markets/calendar", range(from, to), daysIn(from, to), parseCalendarPage, kCalendarKey);
}

Status Client::dailyBarsByDate(std::int32_t date, DailyBars& out) {
    return collect(out, "/equities/bars/daily", "date=" + isoDate(date), kMaxIssueRows, parseDailyBarsPage,
                   Unit{date, date});
}

Status Client::dailyBarsByCode(int code, std::int32_t from, std::int32_t to, DailyBars& out) {
    return collect(out, "/equities/bars/daily", codeQuery(code, from, to), daysIn(from, to), parseDailyBarsPage,
                   kCodeDateKey<DailyBar>);
}

Status Client::marginInterestByDate(std::int32_t date, MarginBalances& out) {
    return collect(out, "/markets/margin-interest", "date=" + isoDate(date), kMaxIssueRows, parseMarginPage,
                   Unit{date, date});
}

Status Client::marginInterestByCode(int code, std::int32_t from, std::int32_t to, MarginBalances& out) {
    return collect(out, "/markets/margin-interest", codeQuery(code, from, to), daysIn(from, to), parseMarginPage,
                   kCodeDateKey<MarginBalance>);
}

Status Client::topix(std::int32_t from, std::int32_t to, IndexBars& out) {
    if (from && to) return collect(out, "/indices/bars/daily/topix", range(from, to), daysIn(from, to), parseIndexPage, Unit{from, to});
    return collect(out, "/indices/bars/daily/topix", range(from, to), daysIn(from, to), parseIndexPage, kIndexKey);
}

Status Client::listedMaster(ListedMaster& out) {
    const auto ask = [&](std::int32_t date) {
        return collect(out, "/equities/master", date ? "date=" + isoDate(date) : std::string(), kMaxIssueRows,
                       parseMasterPage, RowKey<ListedIssue>{});
    };
    // Free serves the master only inside its window, which ends 12 weeks
    // back: asked for its last day at once, and any plan that says its window
    // ends earlier is asked again for that day.
    std::int32_t date = 0;
    if (const int delay = planFacts(plan_).delayDays) date = addDays(env_.clock->japanNow().yyyymmdd(), -delay);
    Status s = ask(date);
    if (s.outcome == Outcome::PlanWindow && s.windowTo && s.windowTo != date) s = ask(s.windowTo);
    return s;
}

// --- bulk files ---------------------------------------------------------------

namespace {
// Each dataset has a file a month for twenty years and a file a day for the
// current month; a list longer than this is not one.
constexpr std::size_t kMaxBulkFiles = 20'000;

// "YYYY-MM" of a YYYYMM month; empty when it is not one.
std::string monthText(std::int32_t month) {
    if (month < 100001 || month > 999912 || month % 100 < 1 || month % 100 > 12) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d", month / 100, month % 100);
    return text;
}

// A 403 without a word refuses the data of a plan that lacks it (the key
// itself is refused in words), and only some plans have bulk files.
Status bulkRefusal(Status status, const std::string& what, JQuantsPlan plan) {
    if (status.outcome != Outcome::KeyRefused || status.httpStatus != 403 ||
        status.message.find(jquants_text::kServerSaidOpen) != std::string::npos)
        return status;
    return {Outcome::NotInPlan, 403, fillIn(jquants_text::kBulkNotInPlan, {what, planFacts(plan).name})};
}

const RowKey<BulkFile> kBulkKey{[](const BulkFile& f) { return std::int64_t(std::hash<std::string>{}(f.key)); },
                                [](const BulkFile& f) { return fillIn(jquants_text::kFileNamed, {echoText(f.key)}); }};
}  // namespace

Status Client::bulkList(std::string_view endpoint, std::int32_t fromMonth, std::int32_t toMonth, BulkFiles& out) {
    out = {};
    if (!setupError_.empty()) return {Outcome::ConnectionFailed, 0, setupError_};
    std::string query, dataset(endpoint);
    // JPX's own client adds the leading slash a dataset may be named without.
    if (dataset.empty() || dataset.front() != '/') dataset.insert(0, "/");
    char* escaped = curl_easy_escape(curl_->handle, dataset.c_str(), static_cast<int>(dataset.size()));
    query = "endpoint=" + std::string(escaped ? escaped : "");
    curl_free(escaped);
    for (const auto& [name, month] : {std::pair{"from", fromMonth}, std::pair{"to", toMonth}}) {
        if (!month) continue;
        const std::string text = monthText(month);
        if (text.empty()) return {Outcome::Unrecognised, 0, fillIn(jquants_text::kNotAMonth, {std::to_string(month)})};
        query += std::string("&") + name + "=" + text;
    }
    return bulkRefusal(collect(out, "/bulk/list", query, kMaxBulkFiles, parseBulkListPage, kBulkKey),
                       fillIn(jquants_text::kBulkFilesOf, {echoText(dataset)}), plan_);
}

Status Client::bulkUrl(const std::string& key, std::string& url) {
    url.clear();
    if (!setupError_.empty()) return {Outcome::ConnectionFailed, 0, setupError_};
    if (const char* bad = bulkKeyProblem(key))
        return {Outcome::Unrecognised, 0, fillIn(jquants_text::kNotAFileKey, {bad, echoText(key)})};
    const std::unique_ptr<ReceiveBuffer, void (*)(ReceiveBuffer*)> release(&body_, [](ReceiveBuffer* b) { b->release(); });
    const std::string path = "/bulk/get";
    char* escaped = curl_easy_escape(curl_->handle, key.c_str(), static_cast<int>(key.size()));
    const std::string query = "?key=" + std::string(escaped ? escaped : "");
    curl_free(escaped);
    if (Status status = getOne(path, base_ + path + query); !status.ok())
        return bulkRefusal(status, fillIn(jquants_text::kBulkFilesLike, {echoText(key)}), plan_);
    std::string why;
    if (!parseBulkUrl(body_.view(), url, &why))
        return {Outcome::Unrecognised, 200, scrubbed(fillIn(jquants_text::kUnreadable, {path, why}))};
    return {};
}

}  // namespace quarlink::jquants
