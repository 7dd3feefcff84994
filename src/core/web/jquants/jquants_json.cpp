#include "core/web/jquants/jquants_json.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <simdjson.h>
#include <vector>

#include "core/env/date.h"
#include "core/store/echo_text.h"
#include "core/store/number_text.h"
#include "core/web/jquants/jquants_text.h"
#include "core/web/jquants/row_rules.h"

namespace quarlink::jquants {

namespace od = simdjson::ondemand;
using namespace rows;

namespace {

// A whole page in the DOM took about five times its size (tape, string copy),
// and even On Demand's index of a page is about its size again, four times
// for a page of brackets. So the rows are parsed a slice at a time, and what
// lies beside them (the pagination_key) on its own.
constexpr std::size_t kSliceBytes = 1u << 20;
// A row is a few hundred bytes; the envelope holds a key.
constexpr std::size_t kMaxRowBytes = 64u << 10;
constexpr std::size_t kMaxEnvelopeBytes = 64u << 10;
constexpr std::size_t kMaxDepth = 1024;

// One parser and one slice buffer per thread, kept between pages.
od::parser& parser() {
    thread_local od::parser instance;
    return instance;
}
std::string& sliceBuffer() {
    thread_local std::string buffer;
    return buffer;
}

std::string_view trimmed(std::string_view token) {
    while (!token.empty() && (token.back() == ' ' || token.back() == '\t' || token.back() == '\r' || token.back() == '\n'))
        token.remove_suffix(1);
    return token;
}

simdjson::error_code readField(od::value value, Field& f) {
    od::json_type type;
    if (const auto error = value.type().get(type)) return error;
    f.text = trimmed(value.raw_json_token());
    switch (type) {
    case od::json_type::null: {
        bool null = false;
        if (value.is_null().get(null) == simdjson::SUCCESS && null) f.kind = Field::Kind::Null;
        else f.kind = Field::Kind::Other;
        return simdjson::SUCCESS;
    }
    case od::json_type::number:
        f.kind = Field::Kind::Number;
        f.numeric = value.get_double().get(f.number) == simdjson::SUCCESS && std::isfinite(f.number);
        return simdjson::SUCCESS;
    case od::json_type::string:
        f.kind = Field::Kind::Text;
        if (const auto error = value.get_string().get(f.text)) return error;
        f.numeric = readNumber(f.text, f.number);
        return simdjson::SUCCESS;
    case od::json_type::object: {
        f.kind = Field::Kind::Other;
        od::object inner;
        if (const auto error = value.get_object().get(inner)) return error;
        return inner.raw_json().get(f.text);
    }
    case od::json_type::array: {
        f.kind = Field::Kind::Other;
        od::array inner;
        if (const auto error = value.get_array().get(inner)) return error;
        return inner.raw_json().get(f.text);
    }
    default:
        f.kind = Field::Kind::Other;
        return simdjson::SUCCESS;
    }
}

template <std::size_t N>
simdjson::error_code readRow(od::object row, const Names<N>& names, Fields<N>& fields) {
    for (auto member : row) {
        // Compared as served, without unescaping: the names hold no escapes.
        od::raw_json_string key;
        if (const auto error = member.key().get(key)) return error;
        const auto at = std::find_if(names.begin(), names.end(), [&](std::string_view name) { return key == name; });
        if (at == names.end()) continue;
        Field& f = fields[static_cast<std::size_t>(at - names.begin())];
        if (f.kind != Field::Kind::Absent) {
            f.twice = true;
            continue;
        }
        od::value value;
        if (const auto error = member.value().get(value)) return error;
        if (const auto error = readField(value, f)) return error;
    }
    return simdjson::SUCCESS;
}

std::string notJson(simdjson::error_code error) {
    return fillIn(jquants_text::kNotJson, {simdjson::error_message(error)});
}

// Where a page's data array lies and the commas between its rows at which
// slices end: a scan that knows only strings and brackets; the parser checks
// all else.
struct Layout {
    std::size_t open = 0, close = 0;
    std::vector<std::size_t> cuts;
};

std::string layoutOf(std::string_view s, Layout& out) {
    static constexpr auto kMarks = [] {
        std::array<bool, 256> marks{};
        for (const char c : std::string_view("\"{}[],:")) marks[static_cast<unsigned char>(c)] = true;
        return marks;
    }();
    std::string stack;
    std::string_view text, key;  // the last string and the last key of the top level
    bool found = false, closed = false;
    std::size_t rowStart = 0, sliceStart = 0;
    const auto endRow = [&](std::size_t at) {
        if (at - rowStart > kMaxRowBytes) return false;
        rowStart = at + 1;
        return true;
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (!kMarks[static_cast<unsigned char>(c)]) continue;
        if (c == '"') {
            const std::size_t start = ++i;
            // The string ends at a quote after an even run of backslashes.
            for (;; ++i) {
                const void* quote = std::memchr(s.data() + i, '"', s.size() - i);
                if (!quote) return fillIn(jquants_text::kNotJson, {jquants_text::kUnendedString});
                i = static_cast<std::size_t>(static_cast<const char*>(quote) - s.data());
                std::size_t escapes = 0;
                while (i - escapes > start && s[i - escapes - 1] == '\\') ++escapes;
                if (escapes % 2 == 0) break;
            }
            if (stack.size() == 1) text = s.substr(start, i - start);
        } else if (stack.size() == 1 && (c == ':' || c == ',')) {
            key = c == ':' ? text : std::string_view();
        } else if (c == '{' || c == '[') {
            if (stack.size() == kMaxDepth) return fillIn(jquants_text::kNotJson, {jquants_text::kTooDeep});
            if (c == '[' && stack.size() == 1 && key == "data") {
                if (found) return jquants_text::kDataTwice;
                found = true;
                out.open = i;
                rowStart = sliceStart = i + 1;
            }
            stack += c;
        } else if (c == '}' || c == ']') {
            if (stack.empty() || stack.back() != (c == '}' ? '{' : '['))
                return fillIn(jquants_text::kNotJson, {jquants_text::kUnbalanced});
            stack.pop_back();
            if (found && !closed && stack.size() == 1) {
                if (!endRow(i)) return fillIn(jquants_text::kLongRow, {std::to_string(kMaxRowBytes)});
                out.close = i;
                closed = true;
            }
        } else if (c == ',' && found && !closed && stack.size() == 2) {
            if (!endRow(i)) return fillIn(jquants_text::kLongRow, {std::to_string(kMaxRowBytes)});
            if (i - sliceStart >= kSliceBytes) {
                out.cuts.push_back(i);
                sliceStart = i + 1;
            }
        }
    }
    if (!stack.empty()) return fillIn(jquants_text::kNotJson, {jquants_text::kUnbalanced});
    if (!closed) return jquants_text::kNoData;
    if (s.size() - (out.close - out.open) > kMaxEnvelopeBytes)
        return fillIn(jquants_text::kLargeEnvelope, {std::to_string(kMaxEnvelopeBytes)});
    return {};
}

// Parses the pieces joined in the thread's slice buffer, which has room for the parser's padding.
template <class... Pieces>
simdjson::error_code iterate(od::document& document, const Pieces&... pieces) {
    std::string& buffer = sliceBuffer();
    buffer.clear();
    (buffer.append(pieces), ...);
    buffer.reserve(buffer.size() + simdjson::SIMDJSON_PADDING);
    return parser().iterate(buffer.data(), buffer.size(), buffer.capacity()).get(document);
}

bool atEnd(od::document& document) {
    const char* rest = nullptr;
    return document.current_location().get(rest) != simdjson::SUCCESS;
}

// The page around its rows, `{"data":[` and `],...}`: an object with one data
// array, and perhaps the pagination_key.
std::string readEnvelope(std::string_view before, std::string_view after, std::string& nextKey) {
    od::document document;
    od::object top;
    simdjson::error_code error = iterate(document, before, after);
    if (error || (error = document.get_object().get(top)))
        return error == simdjson::INCORRECT_TYPE ? jquants_text::kNotAnObject : notJson(error);
    int data = 0;
    for (auto member : top) {
        std::string_view key;
        if ((error = member.unescaped_key().get(key))) return notJson(error);
        if (key == "data") {
            od::array rows;
            if ((error = member.value().get_array().get(rows)))
                return error == simdjson::INCORRECT_TYPE ? jquants_text::kDataNotArray : notJson(error);
            if (++data > 1) return jquants_text::kDataTwice;
        } else if (key == "pagination_key") {
            od::value value;
            Field f;
            if ((error = member.value().get(value)) || (error = readField(value, f))) return notJson(error);
            if (f.kind == Field::Kind::Text) nextKey = std::string(f.text);
            else if (f.kind != Field::Kind::Null) return fillIn(jquants_text::kKeyNotText, {echoText(f.text)});
        }
    }
    if (!data) return jquants_text::kNoData;
    if (!atEnd(document)) return jquants_text::kTextAfter;
    return {};
}

// One slice of the data array's rows, each handed to `take`, which returns
// why it cannot take the row (empty when it took it).
template <std::size_t N, class Take>
std::string readRows(std::string_view slice, const Names<N>& names, Take& take, std::size_t& index) {
    od::document document;
    od::array rows;
    simdjson::error_code error = iterate(document, std::string_view("["), slice, std::string_view("]"));
    if (error || (error = document.get_array().get(rows))) return notJson(error);
    for (auto element : rows) {
        ++index;
        od::object row;
        if ((error = element.get_object().get(row)))
            return error == simdjson::INCORRECT_TYPE ? fillIn(jquants_text::kRowNotObject, {std::to_string(index)})
                                                     : notJson(error);
        Fields<N> fields{};
        if ((error = readRow(row, names, fields))) return notJson(error);
        if (std::string refused = take(fields); !refused.empty()) return refused;
    }
    if (!atEnd(document)) return notJson(simdjson::TAPE_ERROR);
    return {};
}

template <std::size_t N, class Take>
std::string readPage(std::string_view body, std::string& nextKey, const Names<N>& names, Take& take) {
    Layout layout;
    if (std::string bad = layoutOf(body, layout); !bad.empty()) return bad;
    if (std::string bad = readEnvelope(body.substr(0, layout.open + 1), body.substr(layout.close), nextKey); !bad.empty())
        return bad;
    layout.cuts.push_back(layout.close);
    std::size_t from = layout.open + 1, index = 0;
    for (const std::size_t cut : layout.cuts) {
        const std::string_view slice = body.substr(from, cut - from);
        // A cut is a comma between rows: a slice without a row hides a stray comma.
        if (layout.cuts.size() > 1 && slice.find_first_not_of(" \t\r\n") == std::string_view::npos)
            return notJson(simdjson::TAPE_ERROR);
        if (std::string bad = readRows(slice, names, take, index); !bad.empty()) return bad;
        from = cut + 1;
    }
    return {};
}

template <class Rows, std::size_t N, class Take>
bool parsePage(std::string_view body, Rows& into, std::string& nextKey, std::string* why, std::size_t maxRows,
               const Names<N>& names, Take take) {
    nextKey.clear();
    const std::size_t rowsBefore = into.rows.size(), otherBefore = into.otherCodes;
    // More rows than the query can have are refused as they come, before they take memory.
    auto counted = [&](const Fields<N>& fields) {
        std::string refused = take(fields);
        if (refused.empty() && into.rows.size() + into.otherCodes > maxRows)
            refused = fillIn(jquants_text::kTooManyRows, {std::to_string(maxRows)});
        return refused;
    };
    const std::string refused = readPage(body, nextKey, names, counted);
    if (!refused.empty()) {
        into.rows.erase(into.rows.begin() + static_cast<std::ptrdiff_t>(rowsBefore), into.rows.end());
        into.otherCodes = otherBefore;
        nextKey.clear();
        if (why) *why = refused;
        return false;
    }
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
    return validDate(value) ? value : 0;
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
    // An error body is a line of text; a large one is not read.
    if (body.size() > 64 * 1024) return {};
    const simdjson::padded_string copy(body);
    od::parser p;
    od::document document;
    od::object top;
    std::string_view message;
    if (p.iterate(copy).get(document) || document.get_object().get(top) ||
        top.find_field_unordered("message").get_string().get(message))
        return {};
    return std::string(message);
}

bool parseCalendarPage(std::string_view body, Calendar& into, std::string& nextKey, std::string* why, std::size_t maxRows) {
    return parsePage(body, into, nextKey, why, maxRows, kCalendarNames,
                     [&](const Fields<2>& f) { return takeCalendarDay(f, into); });
}

bool parseDailyBarsPage(std::string_view body, DailyBars& into, std::string& nextKey, std::string* why,
                        std::size_t maxRows) {
    return parsePage(body, into, nextKey, why, maxRows, kBarNames,
                     [&](const Fields<8>& f) { return takeDailyBar(f, into); });
}

bool parseMarginPage(std::string_view body, MarginBalances& into, std::string& nextKey, std::string* why,
                     std::size_t maxRows) {
    return parsePage(body, into, nextKey, why, maxRows, kMarginNames,
                     [&](const Fields<5>& f) { return takeMarginBalance(f, into); });
}

bool parseIndexPage(std::string_view body, IndexBars& into, std::string& nextKey, std::string* why, std::size_t maxRows) {
    return parsePage(body, into, nextKey, why, maxRows, kIndexNames,
                     [&](const Fields<5>& f) { return takeIndexBar(f, into); });
}

bool parseMasterPage(std::string_view body, ListedMaster& into, std::string& nextKey, std::string* why,
                     std::size_t maxRows) {
    static constexpr Names<4> kNames = {"Date", "Code", "CoName", "Mkt"};
    return parsePage(body, into, nextKey, why, maxRows, kNames, [&](const Fields<4>& f) {
        std::string refused;
        const RowText say(&f[1]);
        if (f[1].kind != Field::Kind::Text || f[1].twice || f[1].text.empty())
            return say("Code", f[1], jquants_text::kNotACode);
        const std::int32_t date = dateOf(f[0], say, refused);
        if (!date) return refused;
        if (f[2].kind != Field::Kind::Text || f[2].twice) return say("CoName", f[2], jquants_text::kNotAName);
        const std::string_view market = f[3].kind == Field::Kind::Text ? f[3].text : std::string_view();
        into.rows.push_back({date, std::string(f[1].text), stockCodeOf(f[1].text), std::string(f[2].text),
                             std::string(market)});
        return refused;
    });
}

}  // namespace quarlink::jquants
