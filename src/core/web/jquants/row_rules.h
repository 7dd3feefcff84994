#pragma once
// What a served row must be to become a stored one, shared by the API's JSON
// pages and the bulk files' CSV so that both take and refuse the same rows
// with the same words. Internal to web/jquants.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "core/store/echo_text.h"
#include "core/store/number_text.h"
#include "core/web/jquants/jquants_text.h"
#include "core/web/jquants/jquants_types.h"

namespace quarlink::jquants::rows {

// The largest served value that still rounds (halves up) into an int32.
inline constexpr double kStoredMax = 2147483647.5;

// One field of a row as served.
struct Field {
    enum class Kind { Absent, Null, Number, Text, Other } kind = Kind::Absent;
    bool numeric = false;    // `number` holds the value: a JSON number, or a string of one
    double number = 0;
    std::string_view text;   // a string's text, else the value as served
    bool twice = false;
};

template <std::size_t N>
using Names = std::array<std::string_view, N>;
template <std::size_t N>
using Fields = std::array<Field, N>;

// JPX's own client takes "1234.5" for 1234.5; nothing else in a string is a number.
bool readNumber(std::string_view text, double& value);

// Says which row (by its code, else its date), field and value could not
// be taken, and why: `銘柄コード13010の項目Oの値"abc"（数値ではありません）`.
class RowText {
public:
    explicit RowText(const Field* code, std::int32_t date = 0) : code_(code), date_(date) {}
    std::string operator()(std::string_view name, const Field& f, std::string_view reason) const;

private:
    const Field* code_;
    std::int32_t date_;
};

// The row's date, or 0 with the reason in `refused`.
std::int32_t dateOf(const Field& f, const RowText& say, std::string& refused);

enum class Stored { Price, Volume, Hundredths };

// A value the service leaves out: null, or "", "-" (not determined) and
// "*" (not applicable) in a field that otherwise holds numbers.
bool missing(const Field& f);

// Why a served number cannot be stored as `as`, or nullptr when it can.
const char* unstorable(const Field& f, Stored as);

// Open, high, low and close at indexes o..o+3: storable, and high >= low with
// open and close between them.
template <std::size_t N>
std::string priceProblem(const Fields<N>& f, std::size_t o, const Names<N>& names, Stored as, const RowText& say) {
    for (std::size_t i = o; i < o + 4; ++i)
        if (const char* why = unstorable(f[i], as)) return say(names[i], f[i], why);
    const Field &open = f[o], &high = f[o + 1], &low = f[o + 2], &close = f[o + 3];
    if (high.number < low.number)
        return say(names[o + 1], high, fillIn(jquants_text::kBelow, {std::string(names[o + 2]), echoText(low.text)}));
    const auto outside = [&](std::size_t i) {
        return say(names[i], f[i], fillIn(jquants_text::kOutside, {std::string(names[o + 2]), std::string(names[o + 1])}));
    };
    // The close first: an open left out takes the close's value.
    if (close.number < low.number || close.number > high.number) return outside(o + 3);
    if (open.number < low.number || open.number > high.number) return outside(o);
    return std::string();
}

// Each row kind's fields, and the rule that takes one row of them into
// `into` (or counts it as skipped): the reason it cannot, empty when taken.
inline constexpr Names<2> kCalendarNames = {"Date", "HolDiv"};
inline constexpr Names<8> kBarNames = {"Date", "Code", "O", "H", "L", "C", "Vo", "AdjFactor"};
// PubDate may be absent (weekly rows, files without the column).
inline constexpr Names<5> kMarginNames = {"Date", "Code", "LongVol", "ShrtVol", "PubDate"};
inline constexpr Names<5> kIndexNames = {"Date", "O", "H", "L", "C"};

std::string takeCalendarDay(const Fields<2>& f, Calendar& into);
std::string takeDailyBar(Fields<8> f, DailyBars& into);
std::string takeMarginBalance(const Fields<5>& f, MarginBalances& into);
std::string takeIndexBar(Fields<5> f, IndexBars& into);

}  // namespace quarlink::jquants::rows
