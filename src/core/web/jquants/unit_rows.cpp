#include "core/web/jquants/unit_rows.h"

#include <chrono>
#include <type_traits>

#include "core/store/number_text.h"
#include "core/web/jquants/jquants_json.h"
#include "core/web/jquants/jquants_text.h"

namespace quarlink::jquants {

namespace {

constexpr std::size_t kCodes = 10000;
// Longer coded spans (none today) keep their rows' places in a map instead.
constexpr std::size_t kMaxBitDays = 64;

long serialOf(std::int32_t d) {
    using namespace std::chrono;
    return static_cast<long>(
        sys_days{year_month_day{year{d / 10000}, month{unsigned(d / 100 % 100)}, day{unsigned(d % 100)}}}
            .time_since_epoch()
            .count());
}

template <class Row>
constexpr bool kCoded = !std::is_same_v<Row, IndexBar>;

template <class Row>
int codeOf(const Row& row) {
    if constexpr (kCoded<Row>) return row.code;
    else return 0;
}

}  // namespace

template <class Row>
void UnitRows<Row>::begin(std::int32_t first, std::int32_t last) {
    first_ = first, last_ = last;
    seen_.clear();
    at_.clear();
    corrections_ = 0;
    lastDate_ = 0;
    if (!first) return;
    earliest_ = first;
    if constexpr (std::is_same_v<Row, MarginBalance>)
        earliest_ = [&] {
            using namespace std::chrono;
            const year_month_day ymd{sys_days{days{serialOf(first) - kMarginEarlierDays}}};
            return int(ymd.year()) * 10000 + int(unsigned(ymd.month())) * 100 + int(unsigned(ymd.day()));
        }();
    firstSerial_ = serialOf(earliest_);
    days_ = static_cast<std::size_t>(serialOf(last) - firstSerial_ + 1);
    const std::size_t width = kCoded<Row> ? kCodes : 1;
    if (!kCoded<Row> || days_ <= kMaxBitDays) seen_.assign((days_ * width + 63) / 64, 0);
}

template <class Row>
std::string UnitRows<Row>::admit(std::vector<Row>& rows) {
    if (!first_) return {};
    const Row& row = rows.back();
    if (row.date < earliest_ || row.date > last_)
        return fillIn(jquants_text::kRowOutsideUnit, {isoDate(row.date), isoDate(first_), isoDate(last_)});
    if (row.date != lastDate_) lastDate_ = row.date, lastSerial_ = serialOf(row.date);
    const std::uint64_t key =
        static_cast<std::uint64_t>(lastSerial_ - firstSerial_) * (kCoded<Row> ? kCodes : 1) + std::uint64_t(codeOf(row));
    const auto twice = [&] {
        if constexpr (kCoded<Row>)
            return fillIn(jquants_text::kCodeTwiceInUnit, {std::to_string(row.code), isoDate(row.date)});
        else return fillIn(jquants_text::kDateTwiceInUnit, {isoDate(row.date)});
    };
    bool again = false;
    if (seen_.empty()) {
        again = at_.count(key) != 0;
    } else {
        std::uint64_t& word = seen_[key / 64];
        const std::uint64_t bit = std::uint64_t(1) << (key % 64);
        again = (word & bit) != 0;
        word |= bit;
    }
    if constexpr (std::is_same_v<Row, MarginBalance>) {
        if (!again) {
            at_.emplace(key, rows.size() - 1);
            return {};
        }
        Row& kept = rows[at_.at(key)];
        if (!row.pubDate || !kept.pubDate || row.pubDate == kept.pubDate) return twice();
        ++corrections_;
        if (row.pubDate > kept.pubDate) kept = row;
        rows.pop_back();
        return {};
    } else {
        if (again) return twice();
        if (seen_.empty()) at_.emplace(key, rows.size() - 1);
        return {};
    }
}

template class UnitRows<DailyBar>;
template class UnitRows<MarginBalance>;
template class UnitRows<IndexBar>;

}  // namespace quarlink::jquants
