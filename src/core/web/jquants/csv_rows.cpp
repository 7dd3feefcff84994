#include "core/web/jquants/csv_rows.h"

#include <algorithm>
#include <cstring>

#include "core/store/echo_text.h"
#include "core/web/jquants/row_rules.h"

namespace quarlink::jquants {

namespace {

using rows::Field;

const char* find(const char* from, const char* to, char c) {
    return static_cast<const char*>(std::memchr(from, c, static_cast<std::size_t>(to - from)));
}

// The newline that ends the row begun at `p` (one inside quotes does not),
// or nullptr when the text ends first. `odd` carries the quotes' parity
// from piece to piece; `quoted` says a quote was seen, `breaks` counts the
// newlines inside quotes.
const char* rowEnd(const char* p, const char* end, bool& odd, bool& quoted, std::uint64_t& breaks) {
    for (;;) {
        const char* newline = find(p, end, '\n');
        const char* stop = newline ? newline : end;
        for (const char* q = p; (q = find(q, stop, '"')); ++q) {
            odd = !odd;
            quoted = true;
        }
        if (!newline) return nullptr;
        if (!odd) return newline;
        ++breaks;
        p = newline + 1;
    }
}

// Hands each field of a line to `take(column, value)`. Quoted fields come
// without their quotes, "" made one quote in `unquoted` (which has room for
// the line, so the views into it stay put). Returns why the line is not CSV.
template <class Take>
const char* split(const char* p, const char* end, bool quoted, std::string& unquoted, Take&& take) {
    std::size_t column = 0;
    for (;;) {
        std::string_view value;
        if (quoted && p < end && *p == '"') {
            const char* q = p + 1;
            const char* close = nullptr;
            bool escaped = false;
            for (;;) {
                close = find(q, end, '"');
                if (!close) return "引用符で始まる項目が閉じていません";
                if (close + 1 < end && close[1] == '"') {
                    escaped = true;
                    q = close + 2;
                    continue;
                }
                break;
            }
            value = std::string_view(p + 1, static_cast<std::size_t>(close - p - 1));
            if (escaped) {
                const std::size_t at = unquoted.size();
                for (std::size_t i = 0; i < value.size(); ++i) {
                    unquoted += value[i];
                    if (value[i] == '"') ++i;
                }
                value = std::string_view(unquoted).substr(at);
            }
            p = close + 1;
            if (p < end && *p != ',') return "引用符で閉じた項目のあとに続きがあります";
        } else {
            const char* comma = find(p, end, ',');
            const char* stop = comma ? comma : end;
            if (quoted && find(p, stop, '"')) return "引用符で囲まない項目に引用符があります";
            value = std::string_view(p, static_cast<std::size_t>(stop - p));
            p = stop;
        }
        take(column++, value);
        if (p == end) return nullptr;
        ++p;
    }
}

}  // namespace

CsvReader::CsvReader(const std::string_view* names, const bool* numeric, std::size_t count, std::size_t required)
    : names_(names), numeric_(numeric), count_(count), required_(required), fields_(count) {
    unquoted_.reserve(kMaxRowBytes);
}

CsvReader::~CsvReader() = default;

void CsvReader::start(std::string_view name) {
    name_ = std::string(name);
    carry_.clear();
    carryQuoted_ = odd_ = headerRead_ = failed_ = false;
    carryBreaks_ = 0;
    line_ = 1;
    slots_.clear();
    why_.clear();
    restart();
}

bool CsvReader::refuse(std::string reason) {
    failed_ = true;
    why_ = echoText(name_, 200) + reason;
    carry_.clear();
    carry_.shrink_to_fit();
    return false;
}

bool CsvReader::feed(std::string_view text) {
    if (failed_) return false;
    const char* p = text.data();
    const char* const end = p + text.size();
    const auto tooLong = [&] {
        return refuse("の" + std::to_string(line_) + "行目：" + std::to_string(kMaxRowBytes) +
                      "バイトを超える行があります");
    };
    if (!carry_.empty()) {
        const char* newline = rowEnd(p, end, odd_, carryQuoted_, carryBreaks_);
        const char* stop = newline ? newline : end;
        if (carry_.size() + static_cast<std::size_t>(stop - p) > kMaxRowBytes) return tooLong();
        carry_.append(p, stop);
        if (!newline) return true;
        p = newline + 1;
        if (!record(carry_.data(), carry_.data() + carry_.size(), carryQuoted_, carryBreaks_)) return false;
        carry_.clear();
        carryQuoted_ = false;
        carryBreaks_ = 0;
    }
    while (p < end) {
        bool quoted = false;
        std::uint64_t breaks = 0;
        const char* newline = rowEnd(p, end, odd_, quoted, breaks);
        const char* stop = newline ? newline : end;
        if (static_cast<std::size_t>(stop - p) > kMaxRowBytes) return tooLong();
        if (!newline) {
            carry_.assign(p, end);
            carryQuoted_ = quoted;
            carryBreaks_ = breaks;
            break;
        }
        if (!record(p, newline, quoted, breaks)) return false;
        p = newline + 1;
    }
    flush(false);
    return true;
}

bool CsvReader::finish() {
    if (failed_) return false;
    if (odd_) return refuse("の" + std::to_string(line_) + "行目：引用符で始まる項目が閉じていません");
    if (!carry_.empty()) {
        if (!record(carry_.data(), carry_.data() + carry_.size(), carryQuoted_, carryBreaks_)) return false;
        carry_.clear();
    }
    if (!headerRead_) return refuse("に見出し行がありません");
    flush(true);
    return true;
}

bool CsvReader::header(const char* begin, const char* end) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (static_cast<std::size_t>(end - begin) >= kBom.size() && std::string_view(begin, kBom.size()) == kBom)
        begin += kBom.size();
    if (begin == end) return refuse("に見出し行がありません");
    std::vector<bool> seen(count_);
    const char* twice = nullptr;
    unquoted_.clear();
    if (const char* bad = split(begin, end, find(begin, end, '"') != nullptr, unquoted_,
                                [&](std::size_t, std::string_view name) {
                                    int slot = -1;
                                    for (std::size_t i = 0; i < count_; ++i)
                                        if (names_[i] == name) {
                                            if (seen[i]) twice = names_[i].data();
                                            seen[i] = true;
                                            slot = static_cast<int>(i);
                                        }
                                    slots_.push_back(slot);
                                }))
        return refuse("の1行目：" + std::string(bad));
    if (twice) return refuse("の見出し行に列" + std::string(twice) + "が2回あります");
    for (std::size_t i = 0; i < required_; ++i)
        if (!seen[i]) return refuse("の見出し行に列" + std::string(names_[i]) + "がありません");
    headerRead_ = true;
    return true;
}

bool CsvReader::record(const char* begin, const char* end, bool quoted, std::uint64_t breaks) {
    const std::uint64_t line = line_;
    line_ += 1 + breaks;
    if (begin != end && end[-1] == '\r') --end;
    if (!headerRead_) return header(begin, end);
    if (begin == end) return true;  // a blank line
    unquoted_.clear();
    std::size_t columns = 0;
    const char* bad = split(begin, end, quoted, unquoted_, [&](std::size_t column, std::string_view value) {
        columns = column + 1;
        if (column >= slots_.size() || slots_[column] < 0) return;
        const auto slot = static_cast<std::size_t>(slots_[column]);
        Field& f = fields_[slot];
        f.kind = Field::Kind::Text;
        f.text = value;
        f.numeric = numeric_[slot] && rows::readNumber(value, f.number);
    });
    const auto at = [line] { return "の" + std::to_string(line) + "行目："; };
    if (bad) return refuse(at() + bad);
    if (columns != slots_.size())
        return refuse(at() + "項目が" + std::to_string(columns) + "あります（見出し行は" + std::to_string(slots_.size()) + "）");
    if (std::string refused = take(fields_.data()); !refused.empty()) return refuse(at() + refused);
    return true;
}

namespace {

template <class Row>
struct Columns;
template <>
struct Columns<DailyBar> {
    static constexpr const auto& names = rows::kBarNames;
    static constexpr bool numeric[] = {false, false, true, true, true, true, true, true};
    static constexpr std::size_t required = names.size();
};
template <>
struct Columns<MarginBalance> {
    static constexpr const auto& names = rows::kMarginNames;
    static constexpr bool numeric[] = {false, false, true, true, false};
    static constexpr std::size_t required = 4;  // PubDate is not in every file
};
template <>
struct Columns<IndexBar> {
    static constexpr const auto& names = rows::kIndexNames;
    static constexpr bool numeric[] = {false, true, true, true, true};
    static constexpr std::size_t required = names.size();
};
template <>
struct Columns<CalendarDay> {
    static constexpr const auto& names = rows::kCalendarNames;
    static constexpr bool numeric[] = {false, false};
    static constexpr std::size_t required = names.size();
};

}  // namespace

template <class Row>
CsvRows<Row>::CsvRows(RowSink<Row> sink)
    : CsvReader(Columns<Row>::names.data(), Columns<Row>::numeric, Columns<Row>::names.size(), Columns<Row>::required),
      sink_(std::move(sink)) {
    static_assert(std::size(Columns<Row>::numeric) == Columns<Row>::names.size());
}

template <class Row>
std::string CsvRows<Row>::take(const Field* fields) {
    rows::Fields<Columns<Row>::names.size()> f;
    std::copy_n(fields, f.size(), f.begin());
    if constexpr (std::is_same_v<Row, CalendarDay>) {
        return rows::takeCalendarDay(f, rows_);
    } else {
        const std::size_t before = rows_.rows.size();
        std::string refused;
        if constexpr (std::is_same_v<Row, DailyBar>) refused = rows::takeDailyBar(f, rows_);
        else if constexpr (std::is_same_v<Row, MarginBalance>) refused = rows::takeMarginBalance(f, rows_);
        else refused = rows::takeIndexBar(f, rows_);
        if (refused.empty() && rows_.rows.size() > before) {
            refused = unit_.admit(rows_.rows);
            rows_.corrections = unit_.corrections();
        }
        return refused;
    }
}

template <class Row>
void CsvRows<Row>::flush(bool end) {
    if constexpr (std::is_same_v<Row, MarginBalance>)
        if (!end && unit_.active()) return;
    if (!sink_.take || rows_.rows.empty()) return;
    sink_.take(rows_.rows);
    rows_.rows.clear();
}

template <class Row>
void CsvRows<Row>::restart() {
    rows_ = {};
    if constexpr (!std::is_same_v<Row, CalendarDay>) unit_.begin(first_, last_);
    if (sink_.begin) sink_.begin();
}

template class CsvRows<DailyBar>;
template class CsvRows<MarginBalance>;
template class CsvRows<IndexBar>;
template class CsvRows<CalendarDay>;

}  // namespace quarlink::jquants
