#include "core/sources/bulk_days.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <limits>
#include <map>
#include <mutex>

#include "core/env/clock.h"
#include "core/web/jquants/jquants_plan.h"
#include "core/store/echo_text.h"
#include "core/store/number_text.h"
#include "core/env/date.h"
#include "core/web/jquants/bulk_download.h"
#include "core/web/jquants/bulk_list.h"
#include "core/web/jquants/jquants_json.h"
#include "core/web/jquants/jquants_text.h"

namespace quarlink {

namespace {

using jquants::Outcome;
using jquants::Status;

SourceResult unrecognised(const std::string& why) {
    return SourceResult::of(Answer::Unrecognised, withApiReason(jquants_text::kUnrecognised, why));
}

template <class Row>
struct Dataset {
    explicit Dataset(const char* e, bool b) : endpoint(e), everyCode(b) {}
    const char* endpoint;
    // Bars hold every listed code each business day: a day its month's file
    // lacks is asked of the API. Balances come for some days only.
    bool everyCode;
    std::int32_t from = 0, to = 0;
    std::int32_t firstLive = std::numeric_limits<std::int32_t>::max();  // from this month on, the API's
    std::map<std::int32_t, jquants::BulkFile> months;                   // by YYYYMM
    struct Kept {
        std::int32_t month = 0;
        std::vector<Row> rows;  // the file's rows of from..to, by date, then code
        std::size_t otherCodes = 0;
        std::size_t corrections = 0;
        bool empty = false;  // not a row in the file
    };
    // The months last read: the balances' days go through the span twice
    // (the lookback's with the run's first days, the newest with them).
    std::deque<Kept> kept;
    static constexpr std::size_t kKeptMonths = 2;

    void reset(std::int32_t f, std::int32_t t) {
        from = f, to = t;
        firstLive = std::numeric_limits<std::int32_t>::max();
        months.clear();
        kept.clear();
    }
    const jquants::BulkFile* fileOf(std::int32_t day) const {
        if (!from || day < from || day > to || day >= firstLive) return nullptr;
        const auto f = months.find(day / 100);
        return f == months.end() ? nullptr : &f->second;
    }
};

}  // namespace

struct BulkDays::State {
    State(const Endpoints& e, JQuantsSource& a) : endpoints(e), api(a) {}

    Endpoints endpoints;
    JQuantsSource& api;
    std::mutex mutex;  // abort() may come while plan() makes the download
    std::unique_ptr<jquants::BulkDownload> download;
    bool aborted = false;
    Dataset<jquants::DailyBar> bars{"/equities/bars/daily", true};
    Dataset<jquants::MarginBalance> margin{"/markets/margin-interest", false};

    template <class Row>
    SourceResult list(Dataset<Row>& d, std::int32_t from, std::int32_t to);
    template <class Row>
    SourceResult dayOf(Dataset<Row>& d, std::int32_t day, jquants::Rows<Row>& out);
    template <class Row>
    SourceResult take(Dataset<Row>& d, const jquants::BulkFile& file, typename Dataset<Row>::Kept& into);
};

template <class Row>
SourceResult BulkDays::State::list(Dataset<Row>& d, std::int32_t from, std::int32_t to) {
    d.reset(from, to);
    jquants::BulkFiles listed;
    Status s = api.client().bulkList(d.endpoint, from / 100, to / 100, listed);
    // A plan whose window is narrower than thought names it.
    if (s.outcome == Outcome::PlanWindow && s.windowFrom > from && s.windowFrom <= to)
        s = api.client().bulkList(d.endpoint, s.windowFrom / 100, to / 100, listed);
    if (s.outcome == Outcome::NotInPlan) {
        d.from = 0;
        return {};
    }
    if (!s.ok()) return api.stopFor(s);
    for (const jquants::BulkFile& f : listed.rows) {
        std::int32_t first = 0, last = 0;
        bool month = false;
        if (!jquants::bulkFileDays(f.key, first, last, month))
            return unrecognised(fillIn(jquants_text::kNoMonthOrDay, {echoText(f.key)}));
        if (month) d.months[first / 100] = f;
        else if (first >= from) d.firstLive = std::min(d.firstLive, first / 100 * 100 + 1);
    }
    // A month with live files (balances have them only on some days), and
    // the months after, are the API's.
    std::erase_if(d.months, [&](const auto& m) { return std::max(from, m.first * 100 + 1) >= d.firstLive; });
    return {};
}

template <class Row>
SourceResult BulkDays::State::take(Dataset<Row>& d, const jquants::BulkFile& file, typename Dataset<Row>::Kept& into) {
    const std::int32_t month = into.month * 100 + 1;
    into = {};
    std::vector<Row> rows;
    std::size_t served = 0;
    jquants::CsvRows<Row> csv(jquants::RowSink<Row>{[&] { rows.clear(), served = 0; }, [&](std::vector<Row>& batch) {
                                                        served += batch.size();
                                                        for (const Row& r : batch)
                                                            if (r.date >= d.from && r.date <= d.to && r.code >= 1000 &&
                                                                r.code <= 9999)
                                                                rows.push_back(r);
                                                    }});
    csv.expect(month, lastOfMonth(month));
    if (const Status s = download->file(api.client(), file.key, csv); !s.ok()) return api.stopFor(s);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.date != b.date ? a.date < b.date : a.code < b.code; });
    into.rows = std::move(rows);
    into.otherCodes = csv.rows().otherCodes;
    into.corrections = csv.rows().corrections;
    into.empty = served == 0;
    return {};
}

template <class Row>
SourceResult BulkDays::State::dayOf(Dataset<Row>& d, std::int32_t day, jquants::Rows<Row>& out) {
    out = {};
    const jquants::BulkFile* file = d.fileOf(day);
    if (!file) return SourceResult::of(Answer::NoData);
    auto kept = std::find_if(d.kept.begin(), d.kept.end(), [&](const auto& k) { return k.month == day / 100; });
    if (kept == d.kept.end()) {
        typename Dataset<Row>::Kept got;
        got.month = day / 100;
        if (SourceResult r = take(d, *file, got); !r.answered()) return r;
        got.month = day / 100;
        if (d.kept.size() >= Dataset<Row>::kKeptMonths) d.kept.pop_front();
        d.kept.push_back(std::move(got));
        kept = std::prev(d.kept.end());
        out.otherCodes = kept->otherCodes;
        out.corrections = kept->corrections;
    }
    const auto byDate = [](const Row& r, std::int32_t date) { return r.date < date; };
    const auto first = std::lower_bound(kept->rows.begin(), kept->rows.end(), day, byDate);
    auto last = first;
    while (last != kept->rows.end() && last->date == day) ++last;
    // A day without bars, or a month's file without any balance, is no
    // answer for the day: the API is asked.
    if (first == last && (d.everyCode || kept->empty)) {
        out = {};
        return SourceResult::of(Answer::NoData);
    }
    out.rows.assign(first, last);
    return {};
}

BulkDays::BulkDays(const Endpoints& endpoints, JQuantsSource& api) : state_(std::make_unique<State>(endpoints, api)) {}

BulkDays::~BulkDays() = default;

SourceResult BulkDays::plan(std::int32_t barsFrom, std::int32_t barsTo, std::int32_t marginFrom, std::int32_t marginTo) {
    State& s = *state_;
    clear();
    // The free plan has no files but the calendar's: a list would only be refused, at its pace.
    if (!planFacts(s.endpoints.jquantsPlan).hasBulk) return {};
    if (!s.download) {
        auto download = std::make_unique<jquants::BulkDownload>(s.endpoints, s.api.environment,
                                                                [&s](const std::string& line) {
                                                                    if (s.api.onWait) s.api.onWait(line);
                                                                });
        const std::lock_guard lock(s.mutex);
        s.download = std::move(download);
        if (s.aborted) s.download->abort();
    }
    // Listed within the plan's window, whose months have files.
    const std::int32_t windowFrom =
        jquantsFilesFrom(s.endpoints.jquantsPlan, s.api.environment.clock->japanNow().yyyymmdd());
    barsFrom = std::max(barsFrom, windowFrom);
    if (marginFrom) marginFrom = std::max(marginFrom, windowFrom);
    if (barsFrom > barsTo) return {};
    if (SourceResult r = s.list(s.bars, barsFrom, barsTo); !r.answered()) return r;
    // Without bar files the service has none for this key.
    if (marginFrom && !s.bars.months.empty())
        if (SourceResult r = s.list(s.margin, marginFrom, marginTo); !r.answered()) return r;
    return {};
}

SourceResult BulkDays::bars(std::int32_t day, jquants::DailyBars& out) { return state_->dayOf(state_->bars, day, out); }

SourceResult BulkDays::margins(std::int32_t day, jquants::MarginBalances& out) {
    return state_->dayOf(state_->margin, day, out);
}

std::size_t BulkDays::files() const { return state_->bars.months.size() + state_->margin.months.size(); }

std::size_t BulkDays::barDays(const std::vector<std::int32_t>& days) const {
    return static_cast<std::size_t>(
        std::count_if(days.begin(), days.end(), [&](std::int32_t d) { return state_->bars.fileOf(d) != nullptr; }));
}

std::string BulkDays::barsFileName(std::int32_t day) const {
    const jquants::BulkFile* file = state_->bars.fileOf(day);
    return file ? echoText(file->key.substr(file->key.rfind('/') + 1), 80) : std::string();
}

void BulkDays::abort() {
    const std::lock_guard lock(state_->mutex);
    state_->aborted = true;
    if (state_->download) state_->download->abort();
}

void BulkDays::restart() {
    const std::lock_guard lock(state_->mutex);
    state_->aborted = false;
    if (state_->download) state_->download->resetAbort();
}

void BulkDays::clear() {
    state_->bars.reset(0, 0);
    state_->margin.reset(0, 0);
}

}  // namespace quarlink
