#include "jquants_mock.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <httplib.h>
#include <map>
#include <mutex>
#include <vector>

#include "core/env/clock.h"
#include "core/store/text_encoding.h"
#include "core/web/jquants/jquants_json.h"

namespace quarlink::pages {

using jquants::isoDate;
using jquants::parseDate;

namespace {

constexpr const char* kWindowText = "Your subscription covers the following dates: ";

int planRank(const std::string& plan) {
    if (plan == "light") return 1;
    if (plan == "standard") return 2;
    if (plan == "premium") return 3;
    return 0;
}

// Numbers as the API writes them: always with a fraction ("2047.0", "1885.52").
std::string num(double value) {
    // to_chars, not printf: a page of ten years is thousands of numbers.
    char text[400];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    std::string out(text, end);
    if (out.find('.') == std::string::npos) out += ".0";
    return out;
}

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

// Served issues that are not ordinary four-digit shares, for clients to skip:
// two letter codes and a preferred share of the first stock.
struct Extra {
    std::string code;
    int source;  // the stock whose rows it copies
};

class Mock {
public:
    Mock(const Market& market, const JQuantsOptions& options) : market_(market), options_(options) {
        for (const auto& [code, series] : market.series)
            if (code >= 1000 && !series.empty()) stocks_.push_back(code);
        if (!stocks_.empty())
            extras_ = {{"130A0", stocks_.front()}, {"186A0", stocks_.back()},
                       {std::to_string(stocks_.front()) + "5", stocks_.front()}};
        windowTo_ = addDays(market.lastDay, -84);
        // Two years before the end; a February 29 becomes the 28th.
        windowFrom_ = windowTo_ - 20000 - (windowTo_ % 10000 == 229 ? 1 : 0);
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        const std::string key = req.get_header_value("x-api-key");
        if (key.empty()) return fail(res, 403, "The api key is required.");
        if (options_.apiKey.empty() || key != options_.apiKey)
            return fail(res, 403, "The incoming api key is invalid or expired.");
        if (!admit()) return fail(res, 429, "Rate limit exceeded. Please wait and retry.");

        const std::string path = req.matches[1].str();
        std::vector<std::string> rows;
        if (path == "markets/calendar") {
            if (!calendar(req, res, rows)) return;
        } else if (path == "equities/bars/daily") {
            if (!bars(req, res, rows)) return;
        } else if (path == "markets/margin-interest") {
            if (planRank(options_.plan) < 2) return fail(res, 400, "No approval received");
            if (!margin(req, res, rows)) return;
        } else if (path == "indices/bars/daily/topix") {
            if (planRank(options_.plan) < 1) return fail(res, 403, "This API is not available on your subscription plan.");
            if (!topix(req, res, rows)) return;
        } else if (path == "equities/master") {
            master(rows);
        } else {
            return fail(res, 403, "Missing Authentication Token");
        }
        page(req, res, rows);
    }

private:
    // A fixed window per key: the plan's requests, then 429 until it ends.
    bool admit() {
        static constexpr int kPerMinute[] = {5, 60, 120, 500};
        const std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart_ >= std::chrono::milliseconds(options_.rateWindowMs)) {
            windowStart_ = now;
            used_ = 0;
        }
        return ++used_ <= kPerMinute[planRank(options_.plan)];
    }

    // Reads an optional date parameter; false after answering 400.
    bool dateParam(const httplib::Request& req, httplib::Response& res, const char* name, std::int32_t& out) {
        out = 0;
        if (!req.has_param(name)) return true;
        out = parseDate(req.get_param_value(name));
        if (!out) {
            fail(res, 400, std::string("Invalid date format: ") + name);
            return false;
        }
        return true;
    }

    // The free plan sees only its window; false after answering 400.
    bool inWindow(httplib::Response& res, std::int32_t from, std::int32_t to) {
        if (planRank(options_.plan) > 0) return true;
        if ((from && from < windowFrom_) || (to && to > windowTo_) || (from && from > windowTo_) ||
            (to && to < windowFrom_)) {
            fail(res, 400, kWindowText + isoDate(windowFrom_) + " ~ " + isoDate(windowTo_) +
                               ". If you want more data, please check other plans:https://jpx-jquants.com/#dataset");
            return false;
        }
        return true;
    }

    // Query of the code-or-date endpoints: date, or code with from/to.
    struct Query {
        std::int32_t date = 0, from = 0, to = 0;
        std::string code;
    };
    bool codeOrDate(const httplib::Request& req, httplib::Response& res, Query& q) {
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
            if (!inWindow(res, q.from, q.to)) return false;
            q.from = std::max(q.from, windowFrom_);
            q.to = q.to ? std::min(q.to, windowTo_) : windowTo_;
        }
        if (!q.to) q.to = market_.lastDay;
        return true;
    }

    // The stock behind a requested code: 4 digits or 5 characters.
    bool matches(const std::string& wanted, const std::string& served) const {
        return wanted.empty() || wanted == served || (wanted.size() == 4 && served == wanted + "0");
    }

    static std::string stockText(int code) { return std::to_string(code) + "0"; }

    std::string barRow(std::int32_t date, const std::string& code, const PriceRecord* r, bool decimals) const {
        std::string row = "{\"Date\":\"" + isoDate(date) + "\",\"Code\":\"" + code + "\",";
        if (!r) {
            return row + R"("O":null,"H":null,"L":null,"C":null,"UL":"0","LL":"0","Vo":null,"Va":null,)"
                         R"("AdjFactor":1.0,"AdjO":null,"AdjH":null,"AdjL":null,"AdjC":null,"AdjVo":null})";
        }
        // Odd codes carry fractions that round back to the stored yen (halves
        // up), and stay a real bar's shape: low <= open, close <= high.
        const double o = r->open - (decimals ? 0.5 : 0), h = r->high + (decimals ? 0.45 : 0),
                     l = r->low - (decimals ? 0.5 : 0), c = r->close + (decimals ? 0.4 : 0), v = r->volume;
        const std::string prices = "\"O\":" + num(o) + ",\"H\":" + num(h) + ",\"L\":" + num(l) + ",\"C\":" + num(c);
        return row + prices + R"(,"UL":"0","LL":"0","Vo":)" + num(v) + ",\"Va\":" + num(c * v) +
               ",\"AdjFactor\":1.0,\"AdjO\":" + num(o) + ",\"AdjH\":" + num(h) + ",\"AdjL\":" + num(l) + ",\"AdjC\":" + num(c) +
               ",\"AdjVo\":" + num(v) + ",\"MktCap\":null}";
    }

    static const PriceRecord* rowOn(const PriceSeries& series, std::int32_t date) {
        const auto it = std::lower_bound(series.rows.begin(), series.rows.end(), date,
                                         [](const PriceRecord& r, std::int32_t d) { return r.date < d; });
        return it != series.rows.end() && it->date == date ? &*it : nullptr;
    }

    // Listed from its first row on; a business day without a row is a halt.
    void barsOn(std::int32_t date, const std::vector<int>& stocks, const std::vector<const Extra*>& extras,
                std::vector<std::string>& rows) const {
        if (!isTradingDay(date) || date > market_.lastDay) return;
        for (int stock : stocks) {
            const PriceSeries& series = *market_.find(stock);
            if (series.rows.front().date > date) continue;
            rows.push_back(barRow(date, stockText(stock), rowOn(series, date), stock % 2 == 1));
        }
        for (const Extra* extra : extras)
            if (const PriceRecord* r = rowOn(*market_.find(extra->source), date))
                rows.push_back(barRow(date, extra->code, r, false));
    }

    bool bars(const httplib::Request& req, httplib::Response& res, std::vector<std::string>& rows) {
        Query q;
        if (!codeOrDate(req, res, q)) return false;
        // The issues asked for, once: a code's ten years are not a scan of the market a day.
        std::vector<int> stocks;
        std::vector<const Extra*> extras;
        for (int stock : stocks_)
            if (matches(q.code, stockText(stock))) stocks.push_back(stock);
        for (const Extra& extra : extras_)
            if (matches(q.code, extra.code)) extras.push_back(&extra);
        for (std::int32_t d = q.from ? q.from : firstDay(); d <= q.to; d = addDays(d, 1)) barsOn(d, stocks, extras, rows);
        return true;
    }

    bool margin(const httplib::Request& req, httplib::Response& res, std::vector<std::string>& rows) {
        Query q;
        if (!codeOrDate(req, res, q)) return false;
        for (int stock : stocks_) {
            if (!matches(q.code, stockText(stock))) continue;
            for (const PriceRecord& r : market_.find(stock)->rows) {
                if (r.date < q.from || r.date > q.to || (!r.marginBuy && !r.marginSell)) continue;
                rows.push_back("{\"Date\":\"" + isoDate(r.date) + "\",\"Code\":\"" + stockText(stock) +
                               "\",\"ShrtVol\":" + num(r.marginSell) + ",\"LongVol\":" + num(r.marginBuy) +
                               R"(,"ShrtNegVol":0.0,"LongNegVol":0.0,"ShrtStdVol":)" + num(r.marginSell) +
                               ",\"LongStdVol\":" + num(r.marginBuy) + R"(,"IssType":"2"})");
            }
        }
        std::stable_sort(rows.begin(), rows.end());  // date first: every row starts with it
        return true;
    }

    bool topix(const httplib::Request& req, httplib::Response& res, std::vector<std::string>& rows) {
        std::int32_t from = 0, to = 0;
        if (!dateParam(req, res, "from", from) || !dateParam(req, res, "to", to)) return false;
        if (const PriceSeries* series = market_.find(102))
            for (const PriceRecord& r : series->rows)
                if ((!from || r.date >= from) && (!to || r.date <= to))
                    rows.push_back("{\"Date\":\"" + isoDate(r.date) + "\",\"O\":" + num(r.open / 100.0) +
                                   ",\"H\":" + num(r.high / 100.0) + ",\"L\":" + num(r.low / 100.0) +
                                   ",\"C\":" + num(r.close / 100.0) + "}");
        return true;
    }

    bool calendar(const httplib::Request& req, httplib::Response& res, std::vector<std::string>& rows) {
        std::int32_t from = 0, to = 0;
        if (!dateParam(req, res, "from", from) || !dateParam(req, res, "to", to)) return false;
        // The whole years of the market, and the next one as the exchange publishes ahead.
        from = std::max(from, firstDay() / 10000 * 10000 + 101);
        const std::int32_t end = (market_.lastDay / 10000 + 1) * 10000 + 1231;
        to = to ? std::min(to, end) : end;
        const std::string holDiv = req.get_param_value("hol_div");
        for (std::int32_t d = from; d <= to; d = addDays(d, 1)) {
            const char* div = isTradingDay(d) ? "1" : "0";
            if (holDiv.empty() || holDiv == div)
                rows.push_back("{\"Date\":\"" + isoDate(d) + "\",\"HolDiv\":\"" + div + "\"}");
        }
        return true;
    }

    // Markets follow the pages' index (the old sections on today's markets,
    // the Osaka ones on markets the code list does not map); the second
    // stock's name starts with a character that has no Shift-JIS form.
    void master(std::vector<std::string>& rows) const {
        static const std::map<std::string, const char*> kMkt = {
            {"T1", "0111"}, {"T2", "0112"}, {"M", "0113"}, {"J", "0107"}, {"O1", "0109"}, {"O2", "0105"}, {"H", "0104"}};
        const auto row = [&](const std::string& code, int source, const char* category) {
            std::string name = cp932ToUtf8(market_.index.name[source]);
            if (stocks_.size() > 1 && source == stocks_[1] && code.back() == '0') name = "\xF0\xA0\xAE\xB7" + name;
            const auto mkt = kMkt.find(market_.index.market[source]);
            return "{\"Date\":\"" + isoDate(market_.lastDay) + "\",\"Code\":\"" + code + "\",\"CoName\":" +
                   jsonString(name) + R"(,"CoNameEn":"","S17":"99","S17Nm":"","S33":"9999","S33Nm":"",)"
                   R"("ScaleCat":"-","Mkt":")" + (mkt == kMkt.end() ? "0109" : mkt->second) +
                   R"(","MktNm":"","Mrgn":"2","MrgnNm":"","ProdCat":")" + category + "\"}";
        };
        for (int stock : stocks_) rows.push_back(row(stockText(stock), stock, "011"));
        for (const Extra& extra : extras_) rows.push_back(row(extra.code, extra.source, extra.code.back() == '0' ? "011" : "012"));
    }

    std::int32_t firstDay() const {
        std::int32_t first = market_.lastDay;
        for (const auto& [code, series] : market_.series)
            if (!series.empty()) first = std::min(first, series.rows.front().date);
        return first;
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
    std::int32_t windowFrom_ = 0, windowTo_ = 0;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point windowStart_{};
    int used_ = 0;
};

}  // namespace

void addJQuantsRoutes(httplib::Server& server, const Market& market, const JQuantsOptions& options) {
    auto mock = std::make_shared<Mock>(market, options);
    server.Get(R"(/v2/(.*))", [mock](const httplib::Request& req, httplib::Response& res) { mock->handle(req, res); });
}

}  // namespace quarlink::pages
