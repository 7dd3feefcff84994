#include "core/sources/market_history.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>

#include "core/env/clock.h"
#include "core/sources/history_scratch.h"
#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"
#include "core/store/number_text.h"
#include "core/web/jquants/bulk_download.h"
#include "core/web/jquants/bulk_list.h"
#include "core/web/jquants/jquants_json.h"
#include "core/web/jquants/jquants_plan.h"
#include "core/web/jquants/jquants_text.h"

namespace quarlink {

namespace history_text {
inline constexpr const char* kFolderFailed = "J-Quantsから取得した履歴を作業フォルダに保存できません：";
inline constexpr const char* kReadFailed = "J-Quantsから取得した履歴を読み込めません：";
inline constexpr const char* kMarginDay = " 信用残";
inline constexpr const char* kFileOfNoDate = "月も日も名前から読み取れない一括ファイルがあります：";
inline constexpr const char* kStartedOver =
    "作業フォルダの取得途中の履歴（history）が壊れているか置き換えられていたため、初めから取り直しました。";
}  // namespace history_text

namespace {

namespace fs = std::filesystem;
using jquants::Outcome;
using jquants::Status;

enum class Dataset { Bars, Margin, Topix };
constexpr const char* kEndpoints[] = {"/equities/bars/daily", "/markets/margin-interest", "/indices/bars/daily/topix"};
constexpr const char* kWords[] = {"bars", "margin", "topix"};

// A file of the bulk list, or a day (a span for TOPIX) through the API.
struct Unit {
    Dataset dataset = Dataset::Bars;
    bool file = false;
    jquants::BulkFile listed;
    std::int32_t first = 0, last = 0;
    bool done = false;

    // Its line in the progress file: a file changed since does not match.
    std::string entry() const {
        if (file) return "file\t" + listed.key + '\t' + listed.lastModified + '\t' + std::to_string(listed.size);
        return std::string("day\t") + kWords[int(dataset)] + '\t' + std::to_string(first) + '\t' + std::to_string(last);
    }
    std::string name() const {
        if (file) return echoText(listed.key.substr(listed.key.rfind('/') + 1), 80);
        if (dataset == Dataset::Topix) return "TOPIX";
        return jquants::isoDate(first) + (dataset == Dataset::Margin ? history_text::kMarginDay : "");
    }
};

}  // namespace

struct JQuantsHistory::State {
    State(const Application& a, Endpoints e, const WebEnvironment& environment)
        : app(a), endpoints(e), api(a, std::move(e), environment), scratch(a.workDir / JQuantsHistory::kFolder) {}

    const Application& app;
    Endpoints endpoints;
    JQuantsSource api;
    std::mutex mutex;  // abort() may come while connect() makes the download
    std::unique_ptr<jquants::BulkDownload> download;
    bool aborted = false;

    std::int32_t from = 0, to = 0;
    bool askedMargin = false;
    bool bars = true;  // false: the margin balances alone
    bool margin = false, topix = false;  // gathered
    std::vector<Unit> units;
    HistoryScratch scratch;
    std::function<void(const jquants::DailyBar&)> watch;

    // A run resumed on a later day asks up to a later day: what was taken
    // for the same start and data still holds, so the span's end is not part of it.
    std::string header() const {
        return "span\t" + std::to_string(from) + '\t' + (askedMargin ? "1" : "0") + '\t' + (topix ? "1" : "0") +
               (bars ? "" : "\tmargin-only");
    }
    // The business days of the span, from the calendar: those a file should
    // hold and does not are asked of the API.
    std::vector<std::int32_t> days;
    std::uint32_t daysHeld = 0;  // of the file being taken, a bit a day of its month
    bool anyRow = false;
    std::vector<std::int32_t> daysLacking(const Unit& unit) const;

    SourceResult addFiles(Dataset dataset, std::vector<jquants::BulkFile>& listed);
    SourceResult resume();
    SourceResult take(Unit& unit);
    template <class Row>
    SourceResult store(std::vector<Row>& rows);
    template <class Row>
    SourceResult takeFile(Unit& unit);
};

SourceResult JQuantsHistory::State::addFiles(Dataset dataset, std::vector<jquants::BulkFile>& listed) {
    std::vector<Unit> files;
    std::set<std::int32_t> months;  // with a file of their own
    for (jquants::BulkFile& f : listed) {
        Unit u{dataset, true, std::move(f)};
        bool month = false;
        if (!jquants::bulkFileDays(u.listed.key, u.first, u.last, month))
            return SourceResult::of(Answer::Unrecognised,
                                    withApiReason(jquants_text::kUnrecognised,
                                                  history_text::kFileOfNoDate + echoText(u.listed.key)));
        if (month) months.insert(u.first / 100);
        files.push_back(std::move(u));
    }
    // Early in a month the days of the month before are listed beside its
    // month's file, which holds them all.
    for (Unit& u : files)
        if (u.last >= from && u.first <= to && (u.first != u.last || !months.count(u.first / 100)))
            units.push_back(std::move(u));
    return {};
}

SourceResult JQuantsHistory::State::resume() {
    HistoryScratch::Taken taken;
    std::string error;
    if (!scratch.open(header(), from, to, taken, error))
        return SourceResult::localFailure(history_text::kFolderFailed + error);
    if (taken.startedOver) api.note(history_text::kStartedOver);
    // The days a file taken before lacked follow it, as when it was taken.
    for (std::size_t i = 0; i < units.size(); ++i)
        if (const auto f = taken.lacking.find(units[i].entry()); f != taken.lacking.end())
            for (auto day = f->second.rbegin(); day != f->second.rend(); ++day)
                units.insert(units.begin() + static_cast<std::ptrdiff_t>(i + 1), Unit{units[i].dataset, false, {}, *day, *day});
    const std::set<std::string> done(taken.entries.begin(), taken.entries.end());
    for (Unit& u : units) u.done = done.count(u.entry()) != 0;
    return {};
}

template <class Row>
SourceResult JQuantsHistory::State::store(std::vector<Row>& rows) {
    if constexpr (std::is_same_v<Row, jquants::DailyBar>)
        if (watch) {
            for (const Row& row : rows)
                if (row.date >= from && row.date <= to) watch(row);
            return {};
        }
    scratch.clearUnit();
    for (const Row& row : rows) scratch.add(row);
    return {};
}

template <class Row>
SourceResult JQuantsHistory::State::takeFile(Unit& unit) {
    // One file's rows at a time: those of the span and of ordinary shares.
    const auto keep = [this](const Row& row) {
        if constexpr (std::is_same_v<Row, jquants::IndexBar>) return row.date >= from && row.date <= to;
        else return row.date >= from && row.date <= to && row.code >= 1000 && row.code <= 9999;
    };
    daysHeld = 0;
    anyRow = false;
    jquants::CsvRows<Row> csv(jquants::RowSink<Row>{[&] {
                                                        scratch.clearUnit();
                                                        daysHeld = 0;
                                                        anyRow = false;
                                                    },
                                                    [&](std::vector<Row>& batch) {
                                                        anyRow = anyRow || !batch.empty();
                                                        for (const Row& row : batch) {
                                                            if (row.date / 100 == unit.first / 100)
                                                                daysHeld |= 1u << (row.date % 100 - 1);
                                                            if (!keep(row)) continue;
                                                            if constexpr (std::is_same_v<Row, jquants::DailyBar>)
                                                                if (watch) {
                                                                    watch(row);
                                                                    continue;
                                                                }
                                                            scratch.add(row);
                                                        }
                                                    }});
    csv.expect(unit.first, unit.last);
    if (const Status s = download->file(api.client(), unit.listed.key, csv); !s.ok()) return api.stopFor(s);
    if (const std::size_t n = csv.rows().corrections) api.note(fillIn(jquants_text::kMarginCorrections, {std::to_string(n)}));
    return {};
}

// The business days of a file just taken that it did not hold: a day
// without bars or TOPIX, or every day of a margin file without a row.
std::vector<std::int32_t> JQuantsHistory::State::daysLacking(const Unit& unit) const {
    std::vector<std::int32_t> lacking;
    for (const std::int32_t day : days)
        if (day >= std::max(unit.first, from) && day <= std::min(unit.last, to) &&
            (unit.dataset == Dataset::Margin ? !anyRow : !(daysHeld & (1u << (day % 100 - 1)))))
            lacking.push_back(day);
    return lacking;
}

SourceResult JQuantsHistory::State::take(Unit& unit) {
    scratch.clearUnit();
    if (unit.file) {
        switch (unit.dataset) {
        case Dataset::Bars: return takeFile<jquants::DailyBar>(unit);
        case Dataset::Margin: return takeFile<jquants::MarginBalance>(unit);
        case Dataset::Topix: return takeFile<jquants::IndexBar>(unit);
        }
    }
    jquants::Client& client = api.client();
    if (unit.dataset == Dataset::Bars) {
        jquants::DailyBars bars;
        if (const Status s = client.dailyBarsByDate(unit.first, bars); !s.ok()) return api.stopFor(s);
        return store(bars.rows);
    }
    if (unit.dataset == Dataset::Topix) {
        jquants::IndexBars bars;
        const Status s = client.topix(unit.first, unit.last, bars);
        if (s.outcome == Outcome::NotInPlan) {
            SourceResult r = api.stopFor(s);
            r.reason = withApiReason(jquants_text::kTopixPlan, s);
            return r;
        }
        if (!s.ok()) return api.stopFor(s);
        std::erase_if(bars.rows, [&](const jquants::IndexBar& b) { return b.date < from || b.date > to; });
        return store(bars.rows);
    }
    jquants::MarginBalances balances;
    const Status s = client.marginInterestByDate(unit.first, balances);
    if (s.outcome == Outcome::NotInPlan) {
        // The key's plan has none, whatever endpoints.conf says: the codes go without.
        margin = false;
        api.note(jquants_text::kMarginPlanNote);
        for (Unit& u : units)
            if (u.dataset == Dataset::Margin) u.done = true;
        return {};
    }
    if (!s.ok()) return api.stopFor(s);
    if (balances.corrections)
        api.note(fillIn(jquants_text::kMarginCorrections, {std::to_string(balances.corrections)}));
    return store(balances.rows);
}

JQuantsHistory::JQuantsHistory(const Application& app, Endpoints endpoints, const WebEnvironment& environment)
    : state_(std::make_unique<State>(app, std::move(endpoints), environment)) {}

JQuantsHistory::~JQuantsHistory() = default;

JQuantsSource& JQuantsHistory::api() { return state_->api; }

SourceResult JQuantsHistory::connect() {
    State& s = *state_;
    if (SourceResult r = s.api.connect(); !r.answered()) return r;
    auto download = std::make_unique<jquants::BulkDownload>(s.endpoints, s.api.environment, [&s](const std::string& line) {
        if (s.api.onWait) s.api.onWait(line);
    });
    const std::lock_guard lock(s.mutex);
    s.download = std::move(download);
    if (s.aborted) s.download->abort();
    return {};
}

void JQuantsHistory::abort() {
    State& s = *state_;
    s.api.abort();
    const std::lock_guard lock(s.mutex);
    s.aborted = true;
    if (s.download) s.download->abort();
}

void JQuantsHistory::restart() {
    State& s = *state_;
    s.api.restart();
    const std::lock_guard lock(s.mutex);
    s.aborted = false;
    if (s.download) s.download->resetAbort();
}

std::string JQuantsHistory::notes() const { return state_->api.notes(); }

SourceResult JQuantsHistory::plan(std::int32_t from, std::int32_t to, bool margin, bool topix, HistoryCost& cost,
                                  bool bars) {
    State& s = *state_;
    cost = {};
    s.units.clear();
    if (!s.download)
        if (SourceResult r = connect(); !r.answered()) return r;
    jquants::Client& client = s.api.client();
    cost.plan = s.endpoints.jquantsPlan;
    cost.requestsPerMinute = client.requestsPerMinute();
    const std::uint64_t sentBefore = client.requestsSent();
    s.from = from;
    s.to = to;
    s.askedMargin = s.margin = margin;
    s.bars = bars;
    s.topix = topix;

    // The service says what the key's plan has, whatever endpoints.conf
    // names: a dataset without files comes a day at a time through the API.
    // Free has no files but the calendar's, and where bars have none,
    // nothing else has.
    std::vector<Dataset> byDay;
    std::int32_t firstListed = 0;
    bool files = true;
    // Asked within the plan's window: what a list answers for months before
    // it is not documented (a refusal would stop the run).
    const std::int32_t today = s.api.environment.clock->japanNow().yyyymmdd();
    const std::int32_t listFrom = std::max(from, jquantsFilesFrom(s.endpoints.jquantsPlan, today));
    for (const Dataset d : {Dataset::Bars, Dataset::Margin, Dataset::Topix}) {
        if ((d == Dataset::Bars && !bars) || (d == Dataset::Margin && !margin) || (d == Dataset::Topix && !topix))
            continue;
        jquants::BulkFiles listed;
        Status st;
        st.outcome = Outcome::NotInPlan;
        if (files) st = client.bulkList(kEndpoints[int(d)], listFrom / 100, std::max(listFrom, to) / 100, listed);
        // A plan whose window is narrower than thought names it.
        if (st.outcome == Outcome::PlanWindow && st.windowFrom > listFrom && st.windowFrom <= to)
            st = client.bulkList(kEndpoints[int(d)], st.windowFrom / 100, to / 100, listed);
        if (st.outcome == Outcome::NotInPlan) {
            files = files && d != Dataset::Bars;
            byDay.push_back(d);
            continue;
        }
        if (!st.ok()) return s.api.stopFor(st);
        const std::size_t before = s.units.size();
        if (SourceResult r = s.addFiles(d, listed.rows); !r.answered()) return r;
        if (d == Dataset::Bars && s.units.size() > before) firstListed = s.units[before].first;
    }
    // Days no file holds (the newest, not yet in a file; a span the listing
    // leaves out) come a whole-market day at a time, like a plan without files.
    std::vector<std::int32_t> days;
    std::vector<std::pair<Dataset, std::int32_t>> uncovered;
    {
        // The calendar through the API keeps to the plan's window and says so.
        if (const Status st = s.api.calendarDays(from, to, days); !st.ok()) return s.api.stopFor(st);
        s.days = days;
        for (const Dataset d : {Dataset::Bars, Dataset::Margin}) {
            if (std::find(byDay.begin(), byDay.end(), d) != byDay.end() || (d == Dataset::Margin && !margin) ||
                (d == Dataset::Bars && !bars))
                continue;
            for (const std::int32_t day : days)
                if (std::none_of(s.units.begin(), s.units.end(), [&](const Unit& u) {
                        return u.file && u.dataset == d && u.first <= day && day <= u.last;
                    }))
                    uncovered.push_back({d, day});
        }
        for (const auto& [d, day] : uncovered) s.units.push_back({d, false, {}, day, day});
    }
    if (!byDay.empty()) {
        for (const Dataset d : byDay) {
            if (days.empty()) break;
            if (d == Dataset::Topix) {
                s.units.push_back({d, false, {}, days.front(), days.back()});
                continue;
            }
            if (d == Dataset::Margin) {
                // One day asked tells whether the plan has balances at all.
                jquants::MarginBalances probe;
                const Status st = client.marginInterestByDate(days.front(), probe);
                if (st.outcome == Outcome::NotInPlan) {
                    s.margin = false;
                    continue;
                }
                if (!st.ok()) return s.api.stopFor(st);
            }
            for (const std::int32_t day : days) s.units.push_back({d, false, {}, day, day});
        }
    }
    // By date, a month's files together; TOPIX through the API first, as a
    // plan without it refuses it at once.
    const auto order = [](const Unit& u) { return !u.file && u.dataset == Dataset::Topix ? -1 : int(u.dataset); };
    std::stable_sort(s.units.begin(), s.units.end(), [&](const Unit& a, const Unit& b) {
        return a.first != b.first ? a.first < b.first : order(a) < order(b);
    });
    // Files start at the plan's window: a span from before it is said once.
    if (firstListed > from && from < today - planFacts(cost.plan).years * 10000) {
        s.api.note(fillIn(jquants_text::kWindowNote, {jquants::isoDate(firstListed), ""}));
    }
    if (!s.watch)
        if (SourceResult r = s.resume(); !r.answered()) return r;

    cost.requests = client.requestsSent() - sentBefore;
    for (const Unit& u : s.units) {
        cost.bulk = cost.bulk || u.file;
        if (u.done) continue;
        ++cost.requests;  // a file's URL, or a day
        if (!u.file) continue;
        ++cost.files;
        cost.bytes += u.listed.size;
    }
    if (cost.requestsPerMinute > 0)
        cost.time = std::chrono::seconds((cost.requests * 60 + cost.requestsPerMinute - 1) / cost.requestsPerMinute);
    return {};
}

SourceResult JQuantsHistory::gatherNext(std::string& status) {
    State& s = *state_;
    status.clear();
    const auto next = std::find_if(s.units.begin(), s.units.end(), [](const Unit& u) { return !u.done; });
    if (next == s.units.end()) {
        s.scratch.close();
        return SourceResult::of(Answer::NoData);
    }
    if (!s.watch && !s.scratch.unchanged())
        return SourceResult::localFailure(scratch_text::kDamaged + echoText(s.scratch.folder().string()));
    const std::size_t at = static_cast<std::size_t>(next - s.units.begin());
    if (SourceResult r = s.take(*next); !r.answered()) return r;
    Unit& unit = s.units[at];
    status = unit.name();
    if (unit.done) return {};  // margin that the plan turned out not to have
    unit.done = true;
    // A file that should have held business days and did not: those days
    // come from the API next, as on a plan without files.
    std::vector<std::int32_t> lacking;
    if (unit.file) {
        lacking = s.daysLacking(unit);
        const Dataset dataset = unit.dataset;
        for (std::size_t i = 0; i < lacking.size(); ++i)
            s.units.insert(s.units.begin() + static_cast<std::ptrdiff_t>(at + 1 + i), Unit{dataset, false, {}, lacking[i], lacking[i]});
    }
    if (s.watch) return {};
    std::string error;
    if (!s.scratch.commit(s.units[at].entry(), lacking, error))
        return SourceResult::localFailure(history_text::kFolderFailed + echoText(error));
    return {};
}

void JQuantsHistory::watchBars(std::function<void(const jquants::DailyBar&)> watch) { state_->watch = std::move(watch); }

std::size_t JQuantsHistory::gatheredCount() const {
    return static_cast<std::size_t>(
        std::count_if(state_->units.begin(), state_->units.end(), [](const Unit& u) { return u.done; }));
}

std::size_t JQuantsHistory::totalCount() const { return state_->units.size(); }

void JQuantsHistory::discard() {
    state_->scratch.discard();
    state_->units.clear();
}

SourceResult JQuantsHistory::codeBars(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& rows) {
    State& s = *state_;
    rows = {};
    if (code < 1000 || code > 9999) return SourceResult::of(Answer::NoData);
    std::string error;
    std::vector<jquants::DailyBar> bars;
    if (!s.scratch.bars(code, from, to, bars, error))
        return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
    historyFromBars(code, bars, rows);
    if (margin && !rows.dates.empty()) {
        if (!s.margin) {
            s.api.note(jquants_text::kMarginPlanNote);
        } else {
            std::vector<jquants::MarginBalance> raw;
            if (!s.scratch.margins(code, rows.dates.front(), rows.dates.back(), raw, error))
                return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
            MarginRows balances;
            balanceRows(code, raw, balances);
            placeBalances(balances, rows);
        }
    }
    return SourceResult::of(rows.dates.empty() ? Answer::NoData : Answer::Data);
}

SourceResult JQuantsHistory::marginHistory(int code, std::int32_t from, std::int32_t to, MarginRows& rows) {
    State& s = *state_;
    rows = {};
    if (!s.margin) return SourceResult::of(Answer::OutsidePlan);
    if (code < 1000 || code > 9999) return SourceResult::of(Answer::NoData);
    std::string error;
    std::vector<jquants::MarginBalance> raw;
    if (!s.scratch.margins(code, from, to, raw, error))
        return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
    balanceRows(code, raw, rows);
    return SourceResult::of(rows.dates.empty() ? Answer::NoData : Answer::Data);
}

SourceResult JQuantsHistory::indexBars(int indexCode, std::int32_t from, std::int32_t to, HistoryRows& rows) {
    State& s = *state_;
    if (indexCode != 102 || !s.topix) return s.api.indexBars(indexCode, from, to, rows);
    rows = {};
    std::string error;
    std::vector<jquants::IndexBar> bars;
    if (!s.scratch.topix(from, to, bars, error))
        return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
    topixFrom(bars, rows);
    return {};
}

SourceResult JQuantsHistory::businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) {
    return state_->api.businessDays(from, to, days);
}

SourceResult JQuantsHistory::listedCodes(std::vector<int>& codes) { return state_->api.listedCodes(codes); }

}  // namespace quarlink
