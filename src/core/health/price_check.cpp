#include "core/health/price_check.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/store/price_file.h"

namespace quarlink {
namespace {

struct KindInfo {
    const char* key;
    const char* text;
};

constexpr KindInfo kKinds[kFindingKinds] = {
    {"partial_record", "末尾に不完全なレコード"},
    {"out_of_order", "日付の順序が乱れている"},
    {"duplicate_date", "同じ日付のレコードが重複"},
    {"invalid_date", "暦にない日付"},
    {"future_date", "今日より後の日付"},
    {"bad_price", "価格が不正（負、または高値・安値が始値・終値と矛盾）"},
    {"negative_count", "出来高または信用残が負"},
    {"missing_days", "日経平均にある営業日が欠けている"},
    {"no_price_file", "index.txtに登録されているが株価ファイルがない"},
    {"not_in_index", "株価ファイルがあるがindex.txtに登録されていない"},
    {"unreadable", "読めないファイル"},
    {"no_index", "index.txtが読めない"},
};

// The eight fields as stored: date, open, high, low, close, volume, sell, buy.
inline void loadFields(const unsigned char* p, std::int32_t (&v)[8]) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(v, p, sizeof v);
    } else {
        const PriceRecord r = decodeRecord(p);
        const std::int32_t f[8] = {r.date, r.open, r.high, r.low, r.close, r.volume, r.marginSell, r.marginBuy};
        std::memcpy(v, f, sizeof v);
    }
}

// One finding per kind per file, filled as records are met.
class Tally {
public:
    explicit Tally(int code) : code_(code) {}
    void add(FindingKind kind, std::int32_t date) {
        Finding& f = slot(kind);
        ++f.count;
        if (f.dates.size() < Finding::kDatesShown) f.dates.push_back(date);
    }
    Finding& slot(FindingKind kind) {
        Finding& f = found_[static_cast<int>(kind)];
        f.code = code_;
        f.kind = kind;
        return f;
    }
    void moveInto(std::vector<Finding>& out) {
        for (Finding& f : found_)
            if (f.count > 0) out.push_back(std::move(f));
    }

private:
    int code_;
    Finding found_[kFindingKinds];
};

bool consistent(std::int32_t open, std::int32_t high, std::int32_t low, std::int32_t close) {
    if ((open | high | low | close) == 0) return true;  // no trade
    if (open < 0 || high < 0 || low < 0 || close < 0) return false;
    return high >= open && high >= close && low <= open && low <= close;
}

}  // namespace

const char* findingKey(FindingKind kind) { return kKinds[static_cast<int>(kind)].key; }
const char* findingText(FindingKind kind) { return kKinds[static_cast<int>(kind)].text; }

bool findingFixable(FindingKind kind) {
    return kind == FindingKind::PartialRecord || kind == FindingKind::OutOfOrder || kind == FindingKind::DuplicateDate;
}

bool isCalendarDate(std::int32_t d) {
    const int year = d / 10000, month = d / 100 % 100, day = d % 100;
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool pricesConsistent(const PriceRecord& r) { return consistent(r.open, r.high, r.low, r.close); }

std::vector<std::int32_t> calendarDates(std::string_view image) {
    std::vector<std::int32_t> dates;
    const std::size_t n = image.size() / kRecordSize;
    dates.reserve(n);
    const auto* p = reinterpret_cast<const unsigned char*>(image.data());
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t d = decodeRecord(p + i * kRecordSize).date;
        if (isCalendarDate(d)) dates.push_back(d);
    }
    std::sort(dates.begin(), dates.end());
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
    return dates;
}

void PriceFileChecker::check(int code, std::string_view image, std::vector<Finding>& out) {
    Tally tally(code);
    const std::size_t n = image.size() / kRecordSize;
    const auto* base = reinterpret_cast<const unsigned char*>(image.data());
    if (const std::size_t rest = image.size() % kRecordSize; rest != 0) {
        Finding& f = tally.slot(FindingKind::PartialRecord);
        f.count = static_cast<int>(rest);
        f.detail = std::to_string(rest) + " バイト";
    }
    std::int32_t previous = -1;  // the valid date met last
    bool ordered = true;
    // Walks the calendar along an ordered file: the trading days between two
    // of its dates are the ones it lacks.
    std::size_t day = 0;
    bool started = false;
    Finding* missing = nullptr;
    const std::int32_t* calendar = calendar_.data();
    const std::size_t calendarSize = calendar_.size();
    for (std::size_t i = 0; i < n; ++i) {
        std::int32_t v[8];
        loadFields(base + i * kRecordSize, v);
        const std::int32_t date = v[0];
        if (!consistent(v[1], v[2], v[3], v[4])) tally.add(FindingKind::BadPrice, date);
        if ((v[5] | v[6] | v[7]) < 0) tally.add(FindingKind::NegativeCount, date);
        if (!isCalendarDate(date)) {
            tally.add(FindingKind::InvalidDate, date);
            continue;
        }
        if (date > today_) tally.add(FindingKind::FutureDate, date);
        const std::int32_t before = previous;
        previous = date;
        if (date < before) {
            tally.add(FindingKind::OutOfOrder, date);
            ordered = false;
        }
        if (!ordered) continue;
        if (date == before) {
            tally.add(FindingKind::DuplicateDate, date);
            continue;
        }
        if (calendarSize == 0) continue;
        if (!started) {
            started = true;
            day = static_cast<std::size_t>(std::lower_bound(calendar, calendar + calendarSize, date) - calendar);
        }
        for (; day < calendarSize && calendar[day] < date; ++day) {
            if (!missing) missing = &tally.slot(FindingKind::MissingDays);
            ++missing->count;
            if (missing->dates.size() < Finding::kDatesShown) missing->dates.push_back(calendar[day]);
        }
        if (day < calendarSize && calendar[day] == date) ++day;
    }
    if (!ordered) {
        // Duplicates and gaps need the dates in order: a copy, for this file only.
        sorted_.clear();
        for (std::size_t i = 0; i < n; ++i) {
            const std::int32_t d = decodeRecord(base + i * kRecordSize).date;
            if (isCalendarDate(d)) sorted_.push_back(d);
        }
        std::sort(sorted_.begin(), sorted_.end());
        Finding& dup = tally.slot(FindingKind::DuplicateDate);
        dup.count = 0;
        dup.dates.clear();
        for (std::size_t i = 1; i < sorted_.size(); ++i)
            if (sorted_[i] == sorted_[i - 1]) tally.add(FindingKind::DuplicateDate, sorted_[i]);
        sorted_.erase(std::unique(sorted_.begin(), sorted_.end()), sorted_.end());
        Finding& gaps = tally.slot(FindingKind::MissingDays);
        gaps.count = 0;
        gaps.dates.clear();
        countMissing(sorted_.data(), sorted_.size(), gaps);
    }
    tally.moveInto(out);
}

void PriceFileChecker::countMissing(const std::int32_t* dates, std::size_t n, Finding& f) const {
    if (n == 0 || calendar_.empty()) return;
    auto day = std::lower_bound(calendar_.begin(), calendar_.end(), dates[0]);
    for (std::size_t i = 0; i < n; ++i) {
        for (; day != calendar_.end() && *day < dates[i]; ++day) {
            ++f.count;
            if (f.dates.size() < Finding::kDatesShown) f.dates.push_back(*day);
        }
        if (day != calendar_.end() && *day == dates[i]) ++day;
    }
}

std::string repairedPriceImage(std::string_view image) {
    // The merge keeps the date -1 records of its target last; merging the
    // whole file into just those sorts it and keeps the last row of a date.
    std::string ends;
    const std::size_t n = image.size() / kRecordSize;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view record = image.substr(i * kRecordSize, kRecordSize);
        if (decodeRecord(reinterpret_cast<const unsigned char*>(record.data())).date == kEndOfFileDate)
            ends.append(record);
    }
    return mergePriceImages(ends, image, /*overwrite=*/true);
}

}  // namespace quarlink
