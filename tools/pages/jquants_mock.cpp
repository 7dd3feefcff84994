#include "jquants_mock.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <httplib.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "bulk_files.h"
#include "presigned_files.h"

#include "core/env/clock.h"
#include "core/store/index_flags.h"
#include "core/store/text_encoding.h"
#include "core/web/jquants/jquants_json.h"

namespace quarlink::pages {

using jquants::isoDate;
using jquants::parseDate;

namespace {

constexpr const char* kWindowText = "Your subscription covers the following dates: ";

// Publication times in Japan, in minutes after midnight.
constexpr int kBarsAt = 16 * 60 + 30, kMasterAt = 17 * 60 + 30, kDailyMarginAt = 16 * 60, kWeeklyMarginAt = 16 * 60 + 30;

// Plans cheapest first; the service's own limits and windows below stay the
// mock's, so that tests hold the client's table against them.
int planRank(JQuantsPlan plan) { return static_cast<int>(plan); }

// Numbers as the API writes them: always with a fraction ("2047.0", "1885.52").
std::string num(double value) {
    // to_chars, not printf: a page of ten years is thousands of numbers.
    char text[400];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    std::string out(text, end);
    if (out.find('.') == std::string::npos) out += ".0";
    return out;
}

// Adjusted prices are rounded to one decimal place.
double oneDecimal(double value) { return std::round(value * 10) / 10; }

// A value some rows carry as text, as the service sends numbers now and then.
std::string quoted(const std::string& number, bool asText) { return asText ? "\"" + number + "\"" : number; }

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

void reply(httplib::Response& res, int status, const std::string& body) {
    res.status = status;
    res.set_content(body, "application/json");
}
void fail(httplib::Response& res, int status, const std::string& message) {
    reply(res, status, "{\"message\":" + jsonString(message) + "}");
}

// A time in Japan, to the minute.
struct Moment {
    std::int32_t date = 0;
    int minute = 0;
    bool reached(std::int32_t day, int at) const { return date > day || (date == day && minute >= at); }
};

// What the service has published at the moment a request comes in.
struct Today {
    Moment now;
    std::int32_t lastBars = 0;  // the newest day with bars out, 0 before the market
    std::int32_t windowFrom = 0, windowTo = 0;  // the free plan's

    // The adjustment of a bar: its own day's factor and the product of the factors of the later bars out.
    struct Adjustment {
        double onDay = 1, later = 1;
    };
    Adjustment adjustment(const std::vector<Split>& splits, std::int32_t date) const {
        Adjustment a;
        for (const Split& s : splits) {
            if (s.ratio <= 0 || s.date > lastBars) continue;
            if (s.date == date) a.onDay /= s.ratio;
            else if (s.date > date) a.later /= s.ratio;
        }
        return a;
    }
};

// Served issues that are not ordinary four-digit shares, for clients to skip:
// two letter codes and a preferred share of the first stock.
struct Extra {
    std::string code;
    int source;  // the stock whose rows it copies
};

class Mock {
public:
    Mock(const Market& market, const JQuantsOptions& options, std::shared_ptr<PresignedFiles> presigned)
        : market_(market), options_(options), presigned_(std::move(presigned)) {
        for (const auto& [code, series] : market.series)
            if (code >= 1000 && !series.empty()) stocks_.push_back(code);
        if (!stocks_.empty())
            extras_ = {{"130A0", stocks_.front()}, {"186A0", stocks_.back()},
                       {std::to_string(stocks_.front()) + "5", stocks_.front()}};
        firstDay_ = market.lastDay;
        for (const auto& [code, series] : market.series) {
            if (!series.empty()) firstDay_ = std::min(firstDay_, series.rows.front().date);
            if (code < 1000) continue;
            splits_[code] = parseFlags(market.index.flags[code]).splits;
            for (const PriceRecord& r : series.rows)
                if (r.marginBuy || r.marginSell) marginDates_.insert(r.date);
        }
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        if (gatewayError(res)) return;
        const std::string key = req.get_header_value("x-api-key");
        if (key.empty()) return fail(res, 403, "The api key is required.");
        if (options_.apiKey.empty() || key != options_.apiKey)
            return fail(res, 403, "The incoming api key is invalid or expired.");
        if (!admit()) return fail(res, 429, "Rate limit exceeded. Please wait and retry.");

        const Today today = this->today();
        const std::string path = req.matches[1].str();
        std::vector<std::string> rows;
        if (path == "markets/calendar") {
            if (!calendar(req, res, today, rows)) return;
        } else if (path == "equities/bars/daily") {
            if (!bars(req, res, today, rows)) return;
        } else if (path == "markets/margin-interest") {
            // A plan without the endpoint gets a 403 that says nothing.
            if (planRank(options_.plan) < 2) return reply(res, 403, "");
            if (!margin(req, res, today, rows)) return;
        } else if (path == "indices/bars/daily/topix") {
            if (planRank(options_.plan) < 1) return reply(res, 403, "");
            if (!topix(req, res, today, rows)) return;
        } else if (path == "equities/master") {
            if (!master(req, res, today, rows)) return;
        } else if (path == "bulk/list") {
            if (!bulkList(req, res, today, rows)) return;
        } else if (path == "bulk/get") {
            return bulkGet(req, res, today);
        } else {
            return fail(res, 403, "Missing Authentication Token");
        }
        page(req, res, rows);
    }

private:
    // A fixed window per key: the plan's requests, then 429 until it ends.
    // More refusals in one window than the plan's requests shut the key out
    // for five windows.
    bool admit() {
        static constexpr int kPerMinute[] = {5, 60, 120, 500};
        if (options_.rateWindowMs == 0) return true;  // tests and benches that measure, not pace
        const int limit = kPerMinute[planRank(options_.plan)];
        const std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        const auto window = std::chrono::milliseconds(options_.rateWindowMs);
        if (now < lockedUntil_) return false;
        if (now - windowStart_ >= window) {
            windowStart_ = now;
            used_ = refused_ = 0;
        }
        if (++used_ <= limit) return true;
        if (++refused_ > limit) lockedUntil_ = now + 5 * window;
        return false;
    }

    // A gateway in front of the service fails now and then: 500, 502, 503 and
    // 504 in turn, never two requests in a row.
    bool gatewayError(httplib::Response& res) {
        static constexpr struct {
            int status;
            const char* message;
        } kErrors[] = {{500, "Internal server error"},
                       {502, "Bad Gateway"},
                       {503, "Service Unavailable"},
                       {504, "Endpoint request timed out"}};
        if (options_.errorsPerMillion <= 0) return false;
        const auto share = static_cast<std::uint64_t>(options_.errorsPerMillion);
        const std::uint64_t n = ++requests_, failures = n * share / 1'000'000;
        if (failures == (n - 1) * share / 1'000'000) return false;
        const auto& error = kErrors[(failures - 1) % 4];
        fail(res, error.status, error.message);
        return true;
    }

    Today today() const {
        Today t;
        if (options_.now) {
            t.now.date = static_cast<std::int32_t>(options_.now / 10000);
            t.now.minute = static_cast<int>(options_.now / 100 % 100 * 60 + options_.now % 100);
        } else {
            const LocalDateTime japan = SystemClock::instance().japanNow();
            t.now = {japan.yyyymmdd(), japan.hour * 60 + japan.minute};
        }
        t.lastBars = publishedDay(t.now, kBarsAt);
        // A market that ended before today stands still on its last day.
        t.windowTo = addDays(std::min(t.now.date, market_.lastDay), -84);
        // Two years before the end; a February 29 becomes the 28th.
        t.windowFrom = t.windowTo - 20000 - (t.windowTo % 10000 == 229 ? 1 : 0);
        return t;
    }

    // The newest business day of the market whose data published at `at` are out by `now`; 0 when none is.
    std::int32_t publishedDay(const Moment& now, int at) const {
        std::int32_t day = std::min(now.date, market_.lastDay);
        while (day >= firstDay_ && (!isTradingDay(day) || !now.reached(day, at))) day = addDays(day, -1);
        return day >= firstDay_ ? day : 0;
    }

    // Weekly balances come out on the second business day after their record
    // date, daily ones on the next; `publication` is that day.
    static bool marginOut(const Moment& now, std::int32_t recordDate, std::int32_t& publication) {
        const bool daily = recordDate >= kDailyMarginFrom;
        publication = nextTradingDay(recordDate);
        if (!daily) publication = nextTradingDay(publication);
        return now.reached(publication, daily ? kDailyMarginAt : kWeeklyMarginAt);
    }

    // Reads an optional date parameter; false after answering 400.
    static bool dateParam(const httplib::Request& req, httplib::Response& res, const char* name, std::int32_t& out) {
        out = 0;
        if (!req.has_param(name)) return true;
        out = parseDate(req.get_param_value(name));
        if (!out) {
            fail(res, 400, std::string("Invalid date format: ") + name);
            return false;
        }
        return true;
    }

    static void windowError(httplib::Response& res, const Today& t) {
        fail(res, 400, kWindowText + isoDate(t.windowFrom) + " ~ " + isoDate(t.windowTo) +
                           ". If you want more data, please check other plans:https://jpx-jquants.com/#dataset");
    }

    // The free plan sees only its window; false after answering 400.
    bool inWindow(httplib::Response& res, const Today& t, std::int32_t from, std::int32_t to) const {
        if (planRank(options_.plan) > 0) return true;
        if ((from && from < t.windowFrom) || (to && to > t.windowTo) || (from && from > t.windowTo) ||
            (to && to < t.windowFrom)) {
            windowError(res, t);
            return false;
        }
        return true;
    }

    // Query of the code-or-date endpoints: date, or code with from/to.
    struct Query {
        std::int32_t date = 0, from = 0, to = 0;
        std::string code;
    };
    bool codeOrDate(const httplib::Request& req, httplib::Response& res, const Today& t, Query& q) {
        if (!dateParam(req, res, "date", q.date) || !dateParam(req, res, "from", q.from) ||
            !dateParam(req, res, "to", q.to))
            return false;
        q.code = req.get_param_value("code");
        if (!q.date && q.code.empty()) {
            fail(res, 400, "This API requires at least 1 parameter as follows; 'date','code'.");
            return false;
        }
        if (q.date) q.from = q.to = q.date;
        if (planRank(options_.plan) == 0) {
            if (!inWindow(res, t, q.from, q.to)) return false;
            q.from = std::max(q.from, t.windowFrom);
            q.to = q.to ? std::min(q.to, t.windowTo) : t.windowTo;
        }
        if (!q.to) q.to = market_.lastDay;
        return true;
    }

    // The stock behind a requested code: 4 digits or 5 characters.
    bool matches(const std::string& wanted, const std::string& served) const {
        return wanted.empty() || wanted == served || (wanted.size() == 4 && served == wanted + "0");
    }

    static std::string stockText(int code) { return std::to_string(code) + "0"; }

    // A row of the daily bars; no record: no trade that day.
    struct Bar {
        std::int32_t date;
        std::string code;
        const PriceRecord* r;
        bool decimals;
        Today::Adjustment adjust;

        // Odd codes carry fractions that round back to the stored yen (halves
        // up), and stay a real bar's shape: low <= open, close <= high.
        double o() const { return r->open - (decimals ? 0.5 : 0); }
        double h() const { return r->high + (decimals ? 0.45 : 0); }
        double l() const { return r->low - (decimals ? 0.5 : 0); }
        double c() const { return r->close + (decimals ? 0.4 : 0); }
    };

    static std::string barJson(const Bar& b) {
        std::string row = "{\"Date\":\"" + isoDate(b.date) + "\",\"Code\":\"" + b.code + "\",";
        if (!b.r) {
            return row + R"("O":null,"H":null,"L":null,"C":null,"UL":"0","LL":"0","Vo":null,"Va":null,"AdjFactor":)" +
                   num(b.adjust.onDay) + R"(,"AdjO":null,"AdjH":null,"AdjL":null,"AdjC":null,"AdjVo":null})";
        }
        const double o = b.o(), h = b.h(), l = b.l(), c = b.c(), v = b.r->volume;
        const std::string prices = "\"O\":" + num(o) + ",\"H\":" + num(h) + ",\"L\":" + num(l) + ",\"C\":" + num(c);
        const auto adjusted = [&](double value) {
            return num(b.adjust.later == 1 ? value : oneDecimal(value * b.adjust.later));
        };
        return row + prices + R"(,"UL":"0","LL":"0","Vo":)" + num(v) + ",\"Va\":" + num(c * v) +
               ",\"AdjFactor\":" + num(b.adjust.onDay) + ",\"AdjO\":" + adjusted(o) + ",\"AdjH\":" + adjusted(h) +
               ",\"AdjL\":" + adjusted(l) + ",\"AdjC\":" + adjusted(c) + ",\"AdjVo\":" +
               num(b.adjust.later == 1 ? v : oneDecimal(v / b.adjust.later)) + ",\"MktCap\":null}";
    }

    static const PriceRecord* rowOn(const PriceSeries& series, std::int32_t date) {
        const auto it = std::lower_bound(series.rows.begin(), series.rows.end(), date,
                                         [](const PriceRecord& r, std::int32_t d) { return r.date < d; });
        return it != series.rows.end() && it->date == date ? &*it : nullptr;
    }

    // Listed from its first row on; a business day without a row is a halt.
    void barsOn(const Today& t, std::int32_t date, const std::vector<int>& stocks,
                const std::vector<const Extra*>& extras, std::vector<Bar>& rows) const {
        if (!isTradingDay(date) || date > t.lastBars) return;
        for (int stock : stocks) {
            const PriceSeries& series = *market_.find(stock);
            if (series.rows.front().date > date) continue;
            rows.push_back({date, stockText(stock), rowOn(series, date), stock % 2 == 1,
                            t.adjustment(splits_.at(stock), date)});
        }
        for (const Extra* extra : extras)
            if (const PriceRecord* r = rowOn(*market_.find(extra->source), date))
                rows.push_back({date, extra->code, r, false, t.adjustment(splits_.at(extra->source), date)});
    }

    bool bars(const httplib::Request& req, httplib::Response& res, const Today& t, std::vector<std::string>& rows) {
        Query q;
        if (!codeOrDate(req, res, t, q)) return false;
        // The issues asked for, once: a code's ten years are not a scan of the market a day.
        std::vector<int> stocks;
        std::vector<const Extra*> extras;
        for (int stock : stocks_)
            if (matches(q.code, stockText(stock))) stocks.push_back(stock);
        for (const Extra& extra : extras_)
            if (matches(q.code, extra.code)) extras.push_back(&extra);
        const std::int32_t to = std::min(q.to, t.lastBars);
        std::vector<Bar> bars;
        for (std::int32_t d = q.from ? q.from : firstDay_; d <= to; d = addDays(d, 1)) {
            barsOn(t, d, stocks, extras, bars);
            for (const Bar& bar : bars) rows.push_back(barJson(bar));
            bars.clear();
        }
        return true;
    }

    // Some rows carry their volumes as text, others "-" for the negotiable
    // parts; the amounts exist on daily rows only.
    static std::string marginRow(int stock, const PriceRecord& r, std::int32_t publication) {
        const bool daily = r.date >= kDailyMarginFrom;
        const int shape = (stock + r.date) % 3;
        const std::string neg = shape == 2 ? "\"-\"" : "0.0", negValue = daily ? neg : "null";
        const auto value = [&](std::int32_t volume) { return daily ? num(double(volume) * r.close) : std::string("null"); };
        return "{\"Date\":\"" + isoDate(r.date) + "\",\"Code\":\"" + stockText(stock) +
               "\",\"PubDate\":" + (daily ? "\"" + isoDate(publication) + "\"" : std::string("null")) +
               ",\"ShrtVol\":" + quoted(num(r.marginSell), shape == 1) +
               ",\"LongVol\":" + quoted(num(r.marginBuy), shape == 1) + ",\"ShrtNegVol\":" + neg +
               ",\"LongNegVol\":" + neg + ",\"ShrtStdVol\":" + num(r.marginSell) +
               ",\"LongStdVol\":" + num(r.marginBuy) + ",\"ShrtVal\":" + value(r.marginSell) +
               ",\"LongVal\":" + value(r.marginBuy) + ",\"ShrtNegVal\":" + negValue + ",\"LongNegVal\":" + negValue +
               ",\"ShrtStdVal\":" + value(r.marginSell) + ",\"LongStdVal\":" + value(r.marginBuy) +
               R"(,"IssType":"2"})";
    }

    struct Balance {
        int stock;
        const PriceRecord* r;
        std::int32_t publication;
    };
    // The balances out by `now` with record dates from..to, by date, then code.
    std::vector<Balance> balances(const Moment& now, const std::string& code, std::int32_t from, std::int32_t to) const {
        std::vector<Balance> out;
        for (int stock : stocks_) {
            if (!matches(code, stockText(stock))) continue;
            const auto& rows = market_.find(stock)->rows;
            auto r = std::lower_bound(rows.begin(), rows.end(), from,
                                      [](const PriceRecord& row, std::int32_t d) { return row.date < d; });
            for (std::int32_t publication = 0; r != rows.end() && r->date <= to; ++r)
                if ((r->marginBuy || r->marginSell) && marginOut(now, r->date, publication))
                    out.push_back({stock, &*r, publication});
        }
        std::stable_sort(out.begin(), out.end(), [](const Balance& a, const Balance& b) { return a.r->date < b.r->date; });
        return out;
    }

    bool margin(const httplib::Request& req, httplib::Response& res, const Today& t, std::vector<std::string>& rows) {
        Query q;
        if (!codeOrDate(req, res, t, q)) return false;
        for (const Balance& b : balances(t.now, q.code, q.from, q.to)) rows.push_back(marginRow(b.stock, *b.r, b.publication));
        return true;
    }

    bool topix(const httplib::Request& req, httplib::Response& res, const Today& t, std::vector<std::string>& rows) {
        std::int32_t from = 0, to = 0;
        if (!dateParam(req, res, "from", from) || !dateParam(req, res, "to", to)) return false;
        const PriceSeries* series = market_.find(102);
        for (std::size_t i = 0; series && i < series->size(); ++i) {
            const PriceRecord& r = (*series)[i];
            if (r.date > t.lastBars || (from && r.date < from) || (to && r.date > to)) continue;
            const auto price = [&](std::int32_t hundredths) { return quoted(num(hundredths / 100.0), i % 2 == 1); };
            rows.push_back("{\"Date\":\"" + isoDate(r.date) + "\",\"O\":" + price(r.open) + ",\"H\":" + price(r.high) +
                           ",\"L\":" + price(r.low) + ",\"C\":" + price(r.close) + "}");
        }
        return true;
    }

    // The calendar's days the plan is served, within from..to when they are set.
    void calendarSpan(const Today& t, std::int32_t& from, std::int32_t& to) const {
        if (planRank(options_.plan) == 0) {
            from = std::max(from, t.windowFrom);
            to = to ? std::min(to, t.windowTo) : t.windowTo;
        }
        // The whole years of the market, and the next one as the exchange publishes ahead.
        from = std::max(from, firstDay_ / 10000 * 10000 + 101);
        const std::int32_t end = (std::max(market_.lastDay, t.now.date) / 10000 + 1) * 10000 + 1231;
        to = to ? std::min(to, end) : end;
    }

    bool calendar(const httplib::Request& req, httplib::Response& res, const Today& t, std::vector<std::string>& rows) {
        std::int32_t from = 0, to = 0;
        if (!dateParam(req, res, "from", from) || !dateParam(req, res, "to", to) || !inWindow(res, t, from, to))
            return false;
        calendarSpan(t, from, to);
        const std::string holDiv = req.get_param_value("hol_div");
        for (std::int32_t d = from; d <= to; d = addDays(d, 1)) {
            const char div = holidayDivision(d);
            if (holDiv.empty() || holDiv == std::string(1, div))
                rows.push_back("{\"Date\":\"" + isoDate(d) + "\",\"HolDiv\":\"" + div + "\"}");
        }
        return true;
    }

    // The view of a day lists the issues whose first bar is on or before it.
    // Markets follow the pages' index (the old sections on today's markets,
    // the Osaka ones on markets the code list does not map); the second
    // stock's name starts with a character that has no Shift-JIS form.
    bool master(const httplib::Request& req, httplib::Response& res, const Today& t, std::vector<std::string>& rows) const {
        static const std::map<std::string, const char*> kMkt = {
            {"T1", "0111"}, {"T2", "0112"}, {"M", "0113"}, {"J", "0107"}, {"O1", "0109"}, {"O2", "0105"}, {"H", "0104"}};
        std::int32_t date = 0;
        if (!dateParam(req, res, "date", date)) return false;
        // Today lies past the free plan's window.
        if (planRank(options_.plan) == 0 && !date) {
            windowError(res, t);
            return false;
        }
        if (!inWindow(res, t, date, date)) return false;
        while (date && !isTradingDay(date)) date = addDays(date, 1);  // a closed day shows the next business day
        // A day whose view is not out yet shows the newest; one before the market, its first day.
        const std::int32_t newest = publishedDay(t.now, kMasterAt);
        if (!date || date > newest) date = newest;
        date = std::max(date, firstDay_);
        const std::string wanted = req.get_param_value("code");
        const auto row = [&](const std::string& code, int source, const char* category) {
            std::string name = cp932ToUtf8(market_.index.name[source]);
            if (stocks_.size() > 1 && source == stocks_[1] && code.back() == '0') name = "\xF0\xA0\xAE\xB7" + name;
            const auto mkt = kMkt.find(market_.index.market[source]);
            return "{\"Date\":\"" + isoDate(date) + "\",\"Code\":\"" + code + "\",\"CoName\":" +
                   jsonString(name) + R"(,"CoNameEn":"","S17":"99","S17Nm":"","S33":"9999","S33Nm":"",)"
                   R"("ScaleCat":"-","Mkt":")" + (mkt == kMkt.end() ? "0109" : mkt->second) +
                   R"(","MktNm":"","Mrgn":"2","MrgnNm":"","ProdCat":")" + category + "\"}";
        };
        const auto listed = [&](const std::string& served, int source) {
            return matches(wanted, served) && market_.find(source)->rows.front().date <= date;
        };
        for (int stock : stocks_)
            if (listed(stockText(stock), stock)) rows.push_back(row(stockText(stock), stock, "011"));
        for (const Extra& extra : extras_)
            if (listed(extra.code, extra.source))
                rows.push_back(row(extra.code, extra.source, extra.code.back() == '0' ? "011" : "012"));
        return true;
    }

    // The first day of the plan's bulk files: 5, 10 or 20 years back.
    std::int32_t filesFrom(const Today& t) const {
        static constexpr int kYears[] = {0, 5, 10, 20};
        const std::int32_t from = t.now.date - kYears[planRank(options_.plan)] * 10000;
        return from % 10000 == 229 ? from - 1 : from;
    }

    // Whether `dataset` has data of `day` out by now.
    bool hasDay(bulk::Dataset dataset, const Today& t, std::int32_t day) const {
        std::int32_t publication = 0;
        const PriceSeries* topix = market_.find(102);
        switch (dataset) {
        case bulk::Dataset::Bars: return day >= firstDay_ && day <= t.lastBars && isTradingDay(day);
        case bulk::Dataset::Topix: return day <= t.lastBars && topix && rowOn(*topix, day);
        case bulk::Dataset::Margin: return marginDates_.count(day) && marginOut(t.now, day, publication);
        case bulk::Dataset::Calendar: break;
        }
        return false;
    }

    // Every file of `dataset` the plan has, oldest first: a month's file for
    // each month before this one, a day's file for each business day of this
    // month and, in its first five business days, of the month before.
    std::vector<bulk::File> filesOf(bulk::Dataset dataset, const Today& t) const {
        if (dataset == bulk::Dataset::Calendar) return {{dataset, t.now.date, t.now.date, false}};
        const std::int32_t month = t.now.date / 100 * 100 + 1;
        int rank = 0;
        for (std::int32_t d = month; d <= t.now.date; d = addDays(d, 1)) rank += isTradingDay(d);
        const std::int32_t liveFrom = rank <= 5 ? bulk::addMonths(month, -1) : month;
        std::vector<bulk::File> files;
        for (std::int32_t d = std::max(filesFrom(t), firstDay_) / 100 * 100 + 1, filed = 0; d <= t.now.date;
             d = addDays(d, 1)) {
            if (!hasDay(dataset, t, d)) continue;
            const std::int32_t start = d / 100 * 100 + 1;
            if (start < month && start != filed) files.push_back({dataset, filed = start, lastOfMonth(start), true});
            if (start >= liveFrom) files.push_back({dataset, d, d, false});
        }
        std::stable_sort(files.begin(), files.end(),
                         [](const bulk::File& a, const bulk::File& b) { return bulk::postedOn(a) < bulk::postedOn(b); });
        return files;
    }

    // Some rows carry "-" for the negotiable parts; the amounts exist on daily rows only.
    static std::string marginCsv(const Balance& b, bool withValues, const std::function<std::string(double)>& n) {
        const PriceRecord& r = *b.r;
        const bool daily = r.date >= kDailyMarginFrom;
        const std::string neg = (b.stock + r.date) % 3 == 2 ? "-" : n(0), negValue = daily ? neg : "";
        const auto value = [&](std::int32_t volume) { return daily ? n(double(volume) * r.close) : std::string(); };
        // IssType as a CSV writer quotes text: the files carry quotes.
        std::string row = isoDate(r.date) + ',' + stockText(b.stock) + ",\"2\"," + n(r.marginSell) + ',' +
                          n(r.marginBuy) + ',' + neg + ',' + neg + ',' + n(r.marginSell) + ',' + n(r.marginBuy);
        if (withValues)
            row += ',' + value(r.marginSell) + ',' + value(r.marginBuy) + ',' + negValue + ',' + negValue + ',' +
                   value(r.marginSell) + ',' + value(r.marginBuy);
        return row + '\n';
    }

    // A file's text; a revision writes a historical file's numbers with more decimals.
    std::string csvOf(const bulk::File& f, const Today& t) const {
        const std::string more(f.historical ? static_cast<std::size_t>(options_.bulkRevision) : 0, '0');
        const auto n = [&](double value) { return num(value) + more; };
        std::string csv;
        if (f.dataset == bulk::Dataset::Bars) {
            csv = "Date,Code,O,H,L,C,UL,LL,Vo,Va,AdjFactor\n";
            std::vector<const Extra*> extras;
            for (const Extra& extra : extras_) extras.push_back(&extra);
            std::vector<Bar> bars;
            for (std::int32_t d = f.first; d <= f.last; d = addDays(d, 1)) barsOn(t, d, stocks_, extras, bars);
            std::stable_sort(bars.begin(), bars.end(), [](const Bar& a, const Bar& b) {
                return a.date != b.date ? a.date < b.date : a.code < b.code;
            });
            bool quoted = false;  // one Va per file, as a CSV writer may quote any field
            for (const Bar& b : bars) {
                csv += isoDate(b.date) + ',' + b.code + ',';
                if (b.r) {
                    const std::string va = n(b.c() * b.r->volume);
                    csv += n(b.o()) + ',' + n(b.h()) + ',' + n(b.l()) + ',' + n(b.c()) + ",0,0," + n(b.r->volume) + ',' +
                           (quoted ? va : '"' + va + '"');
                    quoted = true;
                } else {
                    csv += ",,,,0,0,,";
                }
                csv += ',' + n(b.adjust.onDay) + '\n';
            }
        } else if (f.dataset == bulk::Dataset::Topix) {
            csv = "Date,O,H,L,C\n";
            for (const PriceRecord& r : market_.find(102)->rows)
                if (r.date >= f.first && r.date <= std::min(f.last, t.lastBars))
                    csv += isoDate(r.date) + ',' + n(r.open / 100.0) + ',' + n(r.high / 100.0) + ',' + n(r.low / 100.0) +
                           ',' + n(r.close / 100.0) + '\n';
        } else if (f.dataset == bulk::Dataset::Margin) {
            // Columns in an order of their own, and the amounts from 2026-09's file on.
            const bool withValues = f.first >= 20260901;
            csv = "Date,Code,IssType,ShrtVol,LongVol,ShrtNegVol,LongNegVol,ShrtStdVol,LongStdVol";
            csv += withValues ? ",ShrtVal,LongVal,ShrtNegVal,LongNegVal,ShrtStdVal,LongStdVal\n" : "\n";
            for (const Balance& b : balances(t.now, "", f.first, f.last)) csv += marginCsv(b, withValues, n);
        } else {
            csv = "Date,HolDiv\n";
            std::int32_t from = 0, to = 0;
            calendarSpan(t, from, to);
            for (std::int32_t d = from; d <= to; d = addDays(d, 1)) csv += isoDate(d) + ',' + holidayDivision(d) + '\n';
        }
        if (f.historical && f.dataset != bulk::Dataset::Calendar && f.first / 100 == options_.damageMonth)
            damaged(csv, f.dataset == bulk::Dataset::Margin);
        return csv;
    }

    // A month file as a faulty server might serve it (--damage-bulk).
    void damaged(std::string& csv, bool margin) const {
        const std::size_t header = csv.find('\n') + 1, first = csv.find('\n', header) + 1;
        if (options_.damage == "empty" || first == 0) {
            csv.resize(header);
            return;
        }
        std::string row = csv.substr(header, first - header);
        if (options_.damage == "foreign") {
            // The same day of the month before (bars, TOPIX) or after (margin).
            const std::int32_t date = jquants::parseDate(row.substr(0, 10));
            const std::int32_t moved = bulk::addMonths(date, margin ? 1 : -1);
            row.replace(0, 10, isoDate(moved + std::min(date % 100, 28) - 1));
        }
        csv += row;
    }

    // Built on first use; a margin file again when more of its balances are out.
    std::shared_ptr<const std::string> bytesOf(const bulk::File& f, const Today& t) {
        std::int32_t version = 0, publication = 0;
        if (f.dataset == bulk::Dataset::Margin)
            for (auto d = marginDates_.lower_bound(f.first); d != marginDates_.end() && *d <= f.last; ++d)
                if (marginOut(t.now, *d, publication)) version = *d;
        const std::lock_guard lock(filesMutex_);
        auto& [built, bytes] = files_[bulk::keyOf(f)];
        if (!bytes || built != version) {
            built = version;
            bytes = std::make_shared<const std::string>(bulk::gzip(csvOf(f, t)));
        }
        return bytes;
    }

    // An endpoint without files: the free plan's silent 403 of plan gating, else a 400.
    bool refusedEndpoint(httplib::Response& res, const bulk::DatasetInfo* info, const std::string& endpoint) {
        if (info && planRank(options_.plan) >= info->minPlan) return false;
        if (info || planRank(options_.plan) == 0) reply(res, 403, "");
        else fail(res, 400, "Invalid endpoint: " + endpoint);
        return true;
    }

    // endpoint (from, to) or date alone: a file is listed when its days
    // meet from..to, or lie within the date's month or day.
    bool bulkList(const httplib::Request& req, httplib::Response& res, const Today& t, std::vector<std::string>& rows) {
        const bool byEndpoint = req.has_param("endpoint");
        if (byEndpoint == req.has_param("date")) {
            fail(res, 400, "This API requires 1 parameter as follows; 'endpoint','date'.");
            return false;
        }
        if (!byEndpoint && (req.has_param("from") || req.has_param("to"))) {
            fail(res, 400, "'from' and 'to' can only be used with 'endpoint'.");
            return false;
        }
        std::int32_t from = 0, to = 99991231, first = 0, last = 0, unused = 0;
        const auto span = [&](const char* name, std::int32_t& start, std::int32_t& end) {
            if (!req.has_param(name) || bulk::parseSpan(req.get_param_value(name), start, end)) return true;
            fail(res, 400, std::string("Invalid date format: ") + name);
            return false;
        };
        if (!span("from", from, unused) || !span("to", unused, to) || !span("date", first, last)) return false;
        std::vector<bulk::File> files;
        if (byEndpoint) {
            const std::string endpoint = req.get_param_value("endpoint");
            const bulk::DatasetInfo* info = bulk::datasetOf(endpoint);
            if (refusedEndpoint(res, info, endpoint)) return false;
            // Undocumented; the stricter reading: months before the plan's files are refused.
            if (req.has_param("from") && info->dataset != bulk::Dataset::Calendar && from < filesFrom(t) / 100 * 100 + 1) {
                fail(res, 400, kWindowText + isoDate(filesFrom(t)) + " ~ " + isoDate(t.now.date) +
                                   ". If you want more data, please check other plans:https://jpx-jquants.com/#dataset");
                return false;
            }
            for (const bulk::File& f : filesOf(info->dataset, t))
                if (f.dataset == bulk::Dataset::Calendar || (f.last >= from && f.first <= to)) files.push_back(f);
        } else {
            for (const bulk::Dataset dataset : bulk::kDatasets)
                if (dataset != bulk::Dataset::Calendar && planRank(options_.plan) >= bulk::infoOf(dataset).minPlan)
                    for (const bulk::File& f : filesOf(dataset, t))
                        if (f.first >= first && f.last <= last) files.push_back(f);
            std::stable_sort(files.begin(), files.end(),
                             [](const bulk::File& a, const bulk::File& b) { return bulk::postedOn(a) < bulk::postedOn(b); });
        }
        for (const bulk::File& f : files)
            rows.push_back("{\"Key\":" + jsonString(bulk::keyOf(f)) + ",\"LastModified\":\"" +
                           bulk::lastModified(f, options_.bulkRevision) +
                           "\",\"Size\":" + std::to_string(bytesOf(f, t)->size()) + "}");
        return true;
    }

    // key alone, or endpoint and date: a month's date names its month's file, a day's its day's.
    void bulkGet(const httplib::Request& req, httplib::Response& res, const Today& t) {
        const bool byKey = req.has_param("key");
        if (byKey ? req.has_param("endpoint") || req.has_param("date")
                  : !req.has_param("endpoint") || !req.has_param("date"))
            return fail(res, 400, "This API requires either 'key' alone or both 'endpoint' and 'date'.");
        const std::string key = req.get_param_value("key"), endpoint = req.get_param_value("endpoint");
        std::int32_t first = 0, last = 0;
        if (!byKey && !bulk::parseSpan(req.get_param_value("date"), first, last))
            return fail(res, 400, "Invalid date format: date");
        const bulk::DatasetInfo* info = byKey ? bulk::datasetOfKey(key) : bulk::datasetOf(endpoint);
        if (!info && byKey) return fail(res, 404, "The specified key does not exist.");
        if (refusedEndpoint(res, info, endpoint)) return;
        for (const bulk::File& f : filesOf(info->dataset, t))
            if (byKey ? bulk::keyOf(f) == key
                      : f.dataset == bulk::Dataset::Calendar || (f.first == first && f.last == last))
                return reply(res, 200, "{\"url\":" + jsonString(presigned_->issue(bulk::keyOf(f), bytesOf(f, t))) + "}");
        fail(res, 404, "The specified key does not exist.");
    }

    // Pages carry an opaque key that changes from page to page.
    void page(const httplib::Request& req, httplib::Response& res, const std::vector<std::string>& rows) {
        std::size_t offset = 0;
        if (req.has_param("pagination_key")) {
            const std::string key = req.get_param_value("pagination_key");
            unsigned long long sealed = 0, check = 0;
            if (std::sscanf(key.c_str(), "%llx.%llx.", &sealed, &check) != 2 || sealed * 31 + 7 != check ||
                (offset = static_cast<std::size_t>(sealed ^ 0x5bd1e995ull)) >= rows.size())
                return fail(res, 400, "Invalid pagination_key.");
        }
        const std::size_t size = static_cast<std::size_t>(std::max(1, options_.pageSize));
        const std::size_t end = std::min(rows.size(), offset + size);
        std::string body = "{\"data\":[";
        for (std::size_t i = offset; i < end; ++i) (body += i > offset ? "," : "") += rows[i];
        body += "]";
        if (end < rows.size()) {
            char key[64];
            const unsigned long long sealed = end ^ 0x5bd1e995ull;
            std::snprintf(key, sizeof key, "%llx.%llx.", sealed, sealed * 31 + 7);
            body += ",\"pagination_key\":\"" + std::string(key) + "\"";
        }
        reply(res, 200, body + "}");
    }

    const Market& market_;
    const JQuantsOptions options_;
    std::vector<int> stocks_;
    std::vector<Extra> extras_;
    std::map<int, std::vector<Split>> splits_;  // of every stock
    std::int32_t firstDay_ = 0;
    std::set<std::int32_t> marginDates_;  // record dates with balances
    std::shared_ptr<PresignedFiles> presigned_;
    std::mutex filesMutex_;
    std::map<std::string, std::pair<std::int32_t, std::shared_ptr<const std::string>>> files_;  // by key: version, gzip
    std::atomic<std::uint64_t> requests_{0};
    std::mutex mutex_;
    std::chrono::steady_clock::time_point windowStart_{}, lockedUntil_{};
    int used_ = 0, refused_ = 0;
};

}  // namespace

void addJQuantsRoutes(httplib::Server& api, httplib::Server& files, const std::string& filesBase, const Market& market,
                      const JQuantsOptions& options) {
    auto presigned = std::make_shared<PresignedFiles>(filesBase, options.bulkUrlTtlMs);
    presigned->addRoutes(files);
    auto mock = std::make_shared<Mock>(market, options, presigned);
    api.Get(R"(/v2/(.*))", [mock](const httplib::Request& req, httplib::Response& res) { mock->handle(req, res); });
}

}  // namespace quarlink::pages
