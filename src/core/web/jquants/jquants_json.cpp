#include "web/jquants/jquants_json.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <simdjson.h>

namespace quarlink::jquants {

namespace dom = simdjson::dom;

namespace {

// One parser per thread keeps its buffers between pages.
dom::parser& parser() {
    thread_local dom::parser instance;
    return instance;
}

std::optional<std::string_view> text(const dom::object& row, std::string_view key) {
    std::string_view value;
    if (row[key].get_string().get(value) != simdjson::SUCCESS) return std::nullopt;
    return value;
}

std::optional<double> number(const dom::object& row, std::string_view key) {
    double value = 0;
    if (row[key].get_double().get(value) != simdjson::SUCCESS) return std::nullopt;
    return value;
}

bool isNull(const dom::object& row, std::string_view key) {
    dom::element value;
    return row[key].get(value) == simdjson::SUCCESS && value.is_null();
}

std::int32_t dateField(const dom::object& row) {
    const auto value = text(row, "Date");
    return value ? parseDate(*value) : 0;
}

// Parses the envelope and hands each row object to `take`, which returns
// false for a row it cannot use.
template <class Rows, class Take>
bool parsePage(std::string_view body, Rows& into, std::string& nextKey, Take take) {
    nextKey.clear();
    dom::element document;
    dom::object top;
    dom::array data;
    if (parser().parse(body.data(), body.size()).get(document) != simdjson::SUCCESS ||
        document.get_object().get(top) != simdjson::SUCCESS || top["data"].get_array().get(data) != simdjson::SUCCESS)
        return false;
    for (dom::element element : data) {
        dom::object row;
        if (element.get_object().get(row) != simdjson::SUCCESS || !take(row)) ++into.malformed;
    }
    if (const auto key = text(top, "pagination_key")) nextKey = std::string(*key);
    ++into.pages;
    return true;
}

}  // namespace

std::int32_t parseDate(std::string_view s) {
    char digits[8];
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool dash = s.size() == 10 && (i == 4 || i == 7);
        if (dash ? s[i] != '-' : (s[i] < '0' || s[i] > '9' || n == 8)) return 0;
        if (!dash) digits[n++] = s[i];
    }
    if (n != 8 || (s.size() != 8 && s.size() != 10)) return 0;
    std::int32_t value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    using namespace std::chrono;
    const year_month_day ymd{year{value / 10000}, month{unsigned(value / 100 % 100)}, day{unsigned(value % 100)}};
    return ymd.ok() ? value : 0;
}

std::string isoDate(std::int32_t d) {
    char out[16];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d", d / 10000, d / 100 % 100, d % 100);
    return out;
}

int stockCodeOf(std::string_view code) {
    if (code.size() != 5 || code[4] != '0') return 0;
    int value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (code[i] < '0' || code[i] > '9') return 0;
        value = value * 10 + (code[i] - '0');
    }
    return value >= 1000 ? value : 0;
}

std::string errorMessage(std::string_view body) {
    dom::element document;
    dom::object top;
    if (parser().parse(body.data(), body.size()).get(document) != simdjson::SUCCESS ||
        document.get_object().get(top) != simdjson::SUCCESS)
        return {};
    return std::string(text(top, "message").value_or(""));
}

bool parseCalendarPage(std::string_view body, Calendar& into, std::string& nextKey) {
    return parsePage(body, into, nextKey, [&](const dom::object& row) {
        const std::int32_t date = dateField(row);
        const auto div = text(row, "HolDiv");
        if (!date || !div || div->size() != 1 || (*div)[0] < '0' || (*div)[0] > '9') return false;
        into.rows.push_back({date, (*div)[0] - '0'});
        return true;
    });
}

bool parseDailyBarsPage(std::string_view body, DailyBars& into, std::string& nextKey) {
    return parsePage(body, into, nextKey, [&](const dom::object& row) {
        DailyBar bar;
        bar.date = dateField(row);
        const auto code = text(row, "Code");
        if (!bar.date || !code) return false;
        bar.code = stockCodeOf(*code);
        if (!bar.code) {
            ++into.otherCodes;
            return true;
        }
        // No trade: the row is served with all of these null together.
        static constexpr std::string_view kValues[] = {"O", "H", "L", "C", "Vo"};
        bool allNull = true;
        for (auto key : kValues) allNull = allNull && isNull(row, key);
        if (!allNull) {
            const auto o = number(row, "O"), h = number(row, "H"), l = number(row, "L"), c = number(row, "C");
            const auto v = number(row, "Vo");
            if (!o || !h || !l || !c || !v) return false;
            bar = {bar.date, bar.code, true, *o, *h, *l, *c, *v};
        }
        into.rows.push_back(bar);
        return true;
    });
}

bool parseMarginPage(std::string_view body, MarginBalances& into, std::string& nextKey) {
    return parsePage(body, into, nextKey, [&](const dom::object& row) {
        const std::int32_t date = dateField(row);
        const auto code = text(row, "Code");
        if (!date || !code) return false;
        const int stock = stockCodeOf(*code);
        if (!stock) {
            ++into.otherCodes;
            return true;
        }
        const auto longVol = number(row, "LongVol"), shortVol = number(row, "ShrtVol");
        if (!longVol || !shortVol) return false;
        into.rows.push_back({date, stock, *longVol, *shortVol});
        return true;
    });
}

bool parseIndexPage(std::string_view body, IndexBars& into, std::string& nextKey) {
    return parsePage(body, into, nextKey, [&](const dom::object& row) {
        const std::int32_t date = dateField(row);
        const auto o = number(row, "O"), h = number(row, "H"), l = number(row, "L"), c = number(row, "C");
        if (!date || !o || !h || !l || !c) return false;
        into.rows.push_back({date, *o, *h, *l, *c});
        return true;
    });
}

bool parseMasterPage(std::string_view body, ListedMaster& into, std::string& nextKey) {
    return parsePage(body, into, nextKey, [&](const dom::object& row) {
        const std::int32_t date = dateField(row);
        const auto code = text(row, "Code");
        const auto name = text(row, "CoName");
        if (!date || !code || !name) return false;
        into.rows.push_back({date, std::string(*code), stockCodeOf(*code), std::string(*name),
                             std::string(text(row, "Mkt").value_or(""))});
        return true;
    });
}

}  // namespace quarlink::jquants
