#pragma once
// A page reader whose answers the test scripts per code.
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/store/application.h"
#include "core/env/clock.h"
#include "core/store/price_file.h"
#include "core/web/html_value_format.h"
#include "support/fake_clock.h"
#include "support/scratch_chart.h"

namespace quarlink::test {

class NoFetcher final : public PageFetcher {
public:
    int fetch(const std::string&, std::uint16_t, const std::string&, std::string&) override { return 0; }
};

struct History {
    int result = 1;
    std::vector<PriceRecord> rows;  // buy/sell as in memory
};

class ScriptedReader : public HtmlValueFormat {
public:
    ScriptedReader() : HtmlValueFormat(fetcher_, endpoints_, clock_) {}

    struct Call {
        std::string op;
        int code;
        int mode;
        friend bool operator==(const Call&, const Call&) = default;
    };
    std::vector<Call> calls;

    // Quote answers: a queue per code is used first, then the fixed answer;
    // a code without either answers -1.
    std::map<int, std::deque<std::pair<int, PriceRecord>>> quoteQueue;
    std::map<int, std::pair<int, PriceRecord>> quote;
    std::map<int, History> history;  // ReadPriceHistory, and ReadMarginHistory (dates/buys/sells)
    std::map<int, std::deque<int>> historyFailures;  // results to give before the scripted history

    int ReadYahooQuote(int code, int mode, std::int32_t& date, std::int32_t& open, std::int32_t& high,
                       std::int32_t& low, std::int32_t& close, std::int32_t& volume, std::int32_t& marginBuy,
                       std::int32_t& marginSell) override {
        calls.push_back({"yahoo", code, mode});
        return answer(code, date, open, high, low, close, volume, marginBuy, marginSell);
    }
    int ReadInfoSeekQuote(int code, int mode, std::int32_t& date, std::int32_t& open, std::int32_t& high,
                          std::int32_t& low, std::int32_t& close, std::int32_t& volume, std::int32_t& marginBuy,
                          std::int32_t& marginSell) override {
        calls.push_back({"infoseek", code, mode});
        return answer(code, date, open, high, low, close, volume, marginBuy, marginSell);
    }
    int ReadPriceHistory(int code, int startYear, int mode, std::vector<std::int32_t>& dates,
                         std::vector<std::int32_t>& opens, std::vector<std::int32_t>& highs,
                         std::vector<std::int32_t>& lows, std::vector<std::int32_t>& closes,
                         std::vector<std::int32_t>& volumes, std::vector<std::int32_t>& buys,
                         std::vector<std::int32_t>& sells) override {
        calls.push_back({"history", code, mode});
        lastStartYear = startYear;
        if (auto f = historyFailures.find(code); f != historyFailures.end() && !f->second.empty()) {
            const int r = f->second.front();
            f->second.pop_front();
            if (r == -3) message = "FORMAT CHANGED : Value 5 form HtmlValueFormat";
            return r;
        }
        const auto it = history.find(code);
        if (it == history.end()) return -1;
        for (const PriceRecord& r : it->second.rows) {
            dates.push_back(r.date);
            opens.push_back(r.open);
            highs.push_back(r.high);
            lows.push_back(r.low);
            closes.push_back(r.close);
            volumes.push_back(r.volume);
            buys.push_back(r.marginBuy);
            sells.push_back(r.marginSell);
        }
        return it->second.result;
    }
    int ReadMarginHistory(int code, int months, std::vector<std::int32_t>& dates, std::vector<std::int32_t>& buys,
                          std::vector<std::int32_t>& sells) override {
        calls.push_back({"margin", code, months});
        if (auto f = historyFailures.find(code); f != historyFailures.end() && !f->second.empty()) {
            const int r = f->second.front();
            f->second.pop_front();
            return r;
        }
        const auto it = history.find(code);
        if (it == history.end()) return -1;
        for (const PriceRecord& r : it->second.rows) {
            dates.push_back(r.date);
            buys.push_back(r.marginBuy);
            sells.push_back(r.marginSell);
        }
        return it->second.result;
    }

    std::vector<int> codesOf(const std::string& op) const {
        std::vector<int> out;
        for (const Call& c : calls)
            if (c.op == op) out.push_back(c.code);
        return out;
    }

    int lastStartYear = 0;

private:
    int answer(int code, std::int32_t& date, std::int32_t& open, std::int32_t& high, std::int32_t& low,
               std::int32_t& close, std::int32_t& volume, std::int32_t& marginBuy, std::int32_t& marginSell) {
        std::pair<int, PriceRecord> a{-1, {}};
        if (auto q = quoteQueue.find(code); q != quoteQueue.end() && !q->second.empty()) {
            a = q->second.front();
            q->second.pop_front();
        } else if (auto f = quote.find(code); f != quote.end()) {
            a = f->second;
        }
        if (a.first == 1 || a.first == -3) {
            const PriceRecord& r = a.second;
            date = r.date;
            open = r.open;
            high = r.high;
            low = r.low;
            close = r.close;
            volume = r.volume;
            marginBuy = r.marginBuy;
            marginSell = r.marginSell;
        }
        return a.first;
    }

    NoFetcher fetcher_;
    Endpoints endpoints_;
    FixedClock clock_{LocalDateTime{2006, 12, 5}};
};

inline PriceRecord rec(std::int32_t date, std::int32_t close, std::int32_t buy = 0, std::int32_t sell = 0) {
    return PriceRecord{date, close - 5, close + 10, close - 10, close, 1000, buy, sell};
}

}  // namespace quarlink::test
