#include "core/web/jquants/row_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/store/number_text.h"
#include "core/web/jquants/jquants_json.h"
#include "core/web/jquants/jquants_text.h"

namespace quarlink::jquants::rows {

bool readNumber(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && at == end && std::isfinite(value);
}

std::string RowText::operator()(std::string_view name, const Field& f, std::string_view reason) const {
    std::string text;
    if (code_ && code_->kind == Field::Kind::Text) text = fillIn(jquants_text::kRowOfCode, {echoText(code_->text)});
    else if (date_) text = fillIn(jquants_text::kRowOfDate, {isoDate(date_)});
    text += fillIn(jquants_text::kField, {std::string(name)});
    if (f.twice) return fillIn(jquants_text::kFieldTwice, {text});
    if (f.kind == Field::Kind::Absent) return fillIn(jquants_text::kFieldMissing, {text});
    return fillIn(jquants_text::kFieldValue,
                  {text, f.kind == Field::Kind::Text ? "\"" + echoText(f.text) + "\"" : echoText(f.text), std::string(reason)});
}

std::int32_t dateOf(const Field& f, const RowText& say, std::string& refused) {
    const std::int32_t date = f.kind == Field::Kind::Text && !f.twice ? parseDate(f.text) : 0;
    if (!date) refused = say("Date", f, jquants_text::kNotADate);
    return date;
}

bool missing(const Field& f) {
    if (f.twice) return false;
    if (f.kind == Field::Kind::Null) return true;
    return f.kind == Field::Kind::Text && (f.text.empty() || f.text == "-" || f.text == "*");
}

const char* unstorable(const Field& f, Stored as) {
    if (f.twice || f.kind == Field::Kind::Absent) return jquants_text::kNoField;
    if (missing(f)) return jquants_text::kNoValue;
    if (!f.numeric) return jquants_text::kNotANumber;
    if (f.number < 0) return jquants_text::kNegative;
    const double stored = as == Stored::Hundredths ? f.number * 100 : f.number;
    // A price that rounds to 0 would read as "no price" in the chart.
    if (as != Stored::Volume && stored < 0.5) return jquants_text::kNotAPrice;
    if (stored >= kStoredMax) return jquants_text::kBeyondStored;
    return nullptr;
}

std::string takeCalendarDay(const Fields<2>& f, Calendar& into) {
    std::string refused;
    const std::int32_t date = dateOf(f[0], RowText(nullptr), refused);
    if (!date) return refused;
    const RowText sayDated(nullptr, date);
    const Field& div = f[1];
    // 0 closed, 1 open, 2 half day, 3 closed with holiday trading.
    if (div.twice || div.kind != Field::Kind::Text || div.text.size() != 1 || div.text[0] < '0' || div.text[0] > '3')
        return sayDated("HolDiv", div, jquants_text::kNotAHolDiv);
    into.rows.push_back({date, div.text[0] - '0'});
    return refused;
}

std::string takeDailyBar(Fields<8> f, DailyBars& into) {
    std::string refused;
    const RowText say(&f[1]);
    if (f[1].kind != Field::Kind::Text || f[1].twice) return say("Code", f[1], jquants_text::kNotACode);
    DailyBar bar;
    if (!(bar.date = dateOf(f[0], say, refused))) return refused;
    if (!(bar.code = stockCodeOf(f[1].text))) {
        ++into.otherCodes;
        return refused;
    }
    // A factor left out is no adjustment; one that is there must be a factor.
    if (const Field& factor = f[7]; factor.kind != Field::Kind::Absent && !missing(factor)) {
        if (!factor.numeric || factor.number <= 0) return say("AdjFactor", factor, jquants_text::kNotAFactor);
        bar.adjFactor = factor.number;
    }
    // No trade: the prices are left out together (the volume with them,
    // or 0). A row with only its close is a close-only bar.
    const std::size_t gone = static_cast<std::size_t>(std::count_if(f.begin() + 2, f.begin() + 6, missing));
    if (gone == 4 || (gone && missing(f[5]))) {
        if (gone != 4) ++into.missingValues;
        into.rows.push_back(bar);
        return refused;
    }
    for (std::size_t i = 2; i < 5; ++i)
        if (missing(f[i])) f[i] = f[5];
    if (missing(f[6])) f[6] = Field{Field::Kind::Number, true, 0, "0", false};
    if (std::string problem = priceProblem(f, 2, kBarNames, Stored::Price, say); !problem.empty()) return problem;
    if (const char* bad = unstorable(f[6], Stored::Volume)) return say("Vo", f[6], bad);
    bar.traded = true;
    bar.open = f[2].number, bar.high = f[3].number, bar.low = f[4].number, bar.close = f[5].number;
    bar.volume = f[6].number;
    into.rows.push_back(bar);
    return refused;
}

std::string takeMarginBalance(const Fields<5>& f, MarginBalances& into) {
    std::string refused;
    const RowText say(&f[1]);
    if (f[1].kind != Field::Kind::Text || f[1].twice) return say("Code", f[1], jquants_text::kNotACode);
    MarginBalance balance;
    if (!(balance.date = dateOf(f[0], say, refused))) return refused;
    if (!(balance.code = stockCodeOf(f[1].text))) {
        ++into.otherCodes;
        return refused;
    }
    // A balance left out is not known: the stored one carries on.
    if (missing(f[2]) || missing(f[3])) {
        ++into.missingValues;
        return refused;
    }
    for (std::size_t i = 2; i < 4; ++i)
        if (const char* bad = unstorable(f[i], Stored::Volume)) return say(kMarginNames[i], f[i], bad);
    balance.longVol = f[2].number, balance.shortVol = f[3].number;
    if (const Field& pub = f[4]; pub.kind != Field::Kind::Absent && !missing(pub)) {
        balance.pubDate = pub.kind == Field::Kind::Text && !pub.twice ? parseDate(pub.text) : 0;
        if (!balance.pubDate) return say("PubDate", pub, jquants_text::kNotADate);
    }
    into.rows.push_back(balance);
    return refused;
}

std::string takeIndexBar(Fields<5> f, IndexBars& into) {
    std::string refused;
    const std::int32_t date = dateOf(f[0], RowText(nullptr), refused);
    if (!date) return refused;
    // Without a close the day has no bar; a close-only row is one.
    if (missing(f[4])) {
        ++into.missingValues;
        return refused;
    }
    for (std::size_t i = 1; i < 4; ++i)
        if (missing(f[i])) f[i] = f[4];
    if (std::string problem = priceProblem(f, 1, kIndexNames, Stored::Hundredths, RowText(nullptr, date));
        !problem.empty())
        return problem;
    into.rows.push_back({date, f[1].number, f[2].number, f[3].number, f[4].number});
    return refused;
}

}  // namespace quarlink::jquants::rows
