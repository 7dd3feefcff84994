#include "core/sources/jquants_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "core/store/folder_layout.h"
#include "core/store/margin_placement.h"
#include "core/store/number_text.h"
#include "core/store/split_book.h"
#include "core/web/jquants/jquants_json.h"
#include "core/web/jquants/jquants_key.h"

namespace quarlink {

using jquants::Outcome;
using jquants::Status;

std::string withApiReason(std::string text, const std::string& reason) {
    return reason.empty() ? text : text + "\n（" + reason + "）";
}

std::string withApiReason(std::string text, const Status& status) { return withApiReason(std::move(text), status.message); }

std::string keyRefusedText(const Application& app) {
    const std::string where =
        std::string(jquants::kKeyVariable) + "または" + (app.workDir / jquants::kKeyFileName).string();
    return fillIn(jquants_text::kKeyRefused, {where});
}

JQuantsSource::JQuantsSource(const Application& app, Endpoints endpoints, const WebEnvironment& environment)
    : environment(environment), app_(app), endpoints_(std::move(endpoints)) {}

SourceResult JQuantsSource::connect() {
    const jquants::ApiKey key = jquants::loadApiKey(app_.workDir);
    if (!key.ok()) return SourceResult::of(Answer::Refused, jquants_text::kKeyMissing + key.error);
    auto client = std::make_unique<jquants::Client>(endpoints_, key.key, environment,
                                                    [this](const std::string& line) { if (onWait) onWait(line); });
    const std::lock_guard lock(mutex_);
    client_ = std::move(client);
    if (aborted_) client_->abort();
    return {};
}

void JQuantsSource::abort() {
    const std::lock_guard lock(mutex_);
    aborted_ = true;
    if (client_) client_->abort();
}

void JQuantsSource::restart() {
    const std::lock_guard lock(mutex_);
    aborted_ = false;
    if (client_) client_->resetAbort();
    windowFrom_ = windowTo_ = 0;
    marginInPlan_ = true;
    notes_.clear();
}

void JQuantsSource::note(std::string text) {
    if (std::find(notes_.begin(), notes_.end(), text) == notes_.end()) notes_.push_back(std::move(text));
}

std::string JQuantsSource::notes() const {
    std::string text;
    for (const std::string& n : notes_) text += (text.empty() ? "" : "\n") + n;
    return text;
}

template <class Request>
Status JQuantsSource::withinPlan(std::int32_t from, std::int32_t to, Request request) {
    const auto clamp = [&] {
        from = std::max(from, windowFrom_);
        if (windowTo_) to = std::min(to, windowTo_);
        return from <= to;
    };
    if (!clamp()) return {};
    Status s = request(from, to);
    // A window that already holds the span refuses for another reason: not asked again.
    if (s.outcome != Outcome::PlanWindow || !s.windowFrom || (s.windowFrom <= from && (!s.windowTo || s.windowTo >= to)))
        return s;
    windowFrom_ = std::max(windowFrom_, s.windowFrom);
    if (s.windowTo) windowTo_ = windowTo_ ? std::min(windowTo_, s.windowTo) : s.windowTo;
    char text[256];
    std::snprintf(text, sizeof text, jquants_text::kWindowNote, jquants::isoDate(s.windowFrom).c_str(),
                  s.windowTo ? jquants::isoDate(s.windowTo).c_str() : "");
    note(text);
    if (!clamp()) return {};
    return request(from, to);
}

Status JQuantsSource::listedMaster(jquants::ListedMaster& master) { return client_->listedMaster(master); }

Status JQuantsSource::stockCodes(std::vector<int>& codes) {
    jquants::ListedMaster master;
    const Status s = listedMaster(master);
    codes.clear();
    for (const jquants::ListedIssue& issue : master.rows)
        if (issue.stockCode >= 1000 && issue.stockCode <= 9999) codes.push_back(issue.stockCode);
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return s;
}

Status JQuantsSource::calendarDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) {
    days.clear();
    jquants::Calendar calendar;
    const Status s = withinPlan(from, to, [&](std::int32_t f, std::int32_t t) {
        calendar = {};
        return client_->calendar(f, t, calendar);
    });
    for (const jquants::CalendarDay& d : calendar.rows)
        if (d.businessDay() && d.date >= from && d.date <= to) days.push_back(d.date);
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    return s;
}

Status JQuantsSource::history(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& out) {
    out = {};
    jquants::DailyBars bars;
    Status s = withinPlan(from, to, [&](std::int32_t f, std::int32_t t) {
        bars = {};
        return client_->dailyBarsByCode(code, f, t, bars);
    });
    if (!s.ok()) return s;
    historyFromBars(code, bars.rows, out);
    if (!margin || !marginInPlan_ || out.dates.empty()) return s;

    MarginRows balances;
    s = marginHistory(code, out.dates.front(), out.dates.back(), balances.dates, balances.buys, balances.sells);
    if (s.outcome == Outcome::NotInPlan) {
        marginInPlan_ = false;
        note(jquants_text::kMarginPlanNote);
        return {};
    }
    if (!s.ok()) {
        out = {};  // the bars without their balances are no code's history
        return s;
    }
    placeBalances(balances, out);
    return s;
}

void historyFromBars(int code, std::vector<jquants::DailyBar>& bars, HistoryRows& out) {
    out = {};
    std::sort(bars.begin(), bars.end(), [](const jquants::DailyBar& a, const jquants::DailyBar& b) { return a.date < b.date; });
    for (const jquants::DailyBar& bar : bars) {
        if (bar.code != code || (!out.dates.empty() && bar.date == out.dates.back())) continue;
        out.lastServed = std::max(out.lastServed, bar.date);
        if (double ratio = 0; splitOfFactor(bar.adjFactor, ratio)) out.splits.push_back({bar.date, ratio});
        // A day without trade is left out, as the price table leaves it out:
        // the calendar gives it the filler record.
        if (!bar.traded) continue;
        out.dates.push_back(bar.date);
        out.opens.push_back(roundToWhole(bar.open));
        out.highs.push_back(roundToWhole(bar.high));
        out.lows.push_back(roundToWhole(bar.low));
        out.closes.push_back(roundToWhole(bar.close));
        out.volumes.push_back(roundToWhole(bar.volume));
    }
    out.buys.assign(out.dates.size(), 0);
    out.sells.assign(out.dates.size(), 0);
}

void balanceRows(int code, std::vector<jquants::MarginBalance>& balances, MarginRows& out) {
    out = {};
    std::stable_sort(balances.begin(), balances.end(),
                     [](const jquants::MarginBalance& a, const jquants::MarginBalance& b) { return a.date < b.date; });
    for (const jquants::MarginBalance& b : balances) {
        if (b.code != code) continue;
        out.dates.push_back(b.date);
        out.buys.push_back(roundToWhole(b.longVol));
        out.sells.push_back(roundToWhole(b.shortVol));
    }
}

void placeBalances(const MarginRows& balances, HistoryRows& out) {
    placeMarginBalances(out.dates, out.buys, out.sells, balances.dates, balances.buys, balances.sells);
}

void topixFrom(std::vector<jquants::IndexBar>& bars, HistoryRows& out) {
    out = {};
    std::sort(bars.begin(), bars.end(), [](const jquants::IndexBar& a, const jquants::IndexBar& b) { return a.date < b.date; });
    const auto hundredths = [](double v) { return roundToWhole(v * 100); };
    for (const jquants::IndexBar& bar : bars) {
        if (!out.dates.empty() && bar.date == out.dates.back()) continue;
        out.dates.push_back(bar.date);
        out.opens.push_back(hundredths(bar.open));
        out.highs.push_back(hundredths(bar.high));
        out.lows.push_back(hundredths(bar.low));
        out.closes.push_back(hundredths(bar.close));
        out.lastServed = bar.date;
    }
    out.volumes.assign(out.dates.size(), 0);
    out.buys.assign(out.dates.size(), 0);
    out.sells.assign(out.dates.size(), 0);
}

Status JQuantsSource::marginHistory(int code, std::int32_t from, std::int32_t to, std::vector<std::int32_t>& dates,
                                    std::vector<std::int32_t>& buys, std::vector<std::int32_t>& sells) {
    dates.clear();
    buys.clear();
    sells.clear();
    jquants::MarginBalances balances;
    const Status s = withinPlan(from, to, [&](std::int32_t f, std::int32_t t) {
        balances = {};
        return client_->marginInterestByCode(code, f, t, balances);
    });
    MarginRows rows;
    balanceRows(code, balances.rows, rows);
    dates = std::move(rows.dates);
    buys = std::move(rows.buys);
    sells = std::move(rows.sells);
    return s;
}

Status JQuantsSource::topix(std::int32_t from, std::int32_t to, HistoryRows& out) {
    out = {};
    jquants::IndexBars bars;
    const Status s = withinPlan(from, to, [&](std::int32_t f, std::int32_t t) {
        bars = {};
        return client_->topix(f, t, bars);
    });
    topixFrom(bars.rows, out);
    return s;
}

SourceResult answerOf(const Status& status, const Application& app) {
    switch (status.outcome) {
    case Outcome::Ok: return {};
    case Outcome::KeyRefused: return SourceResult::of(Answer::Refused, withApiReason(keyRefusedText(app), status));
    case Outcome::NotInPlan:
    case Outcome::PlanWindow:
    {
        SourceResult r = SourceResult::of(Answer::OutsidePlan, withApiReason(jquants_text::kNotInPlan, status));
        r.windowFrom = status.windowFrom;
        r.windowTo = status.windowTo;
        return r;
    }
    case Outcome::Unrecognised:
        return SourceResult::of(Answer::Unrecognised, withApiReason(jquants_text::kUnrecognised, status));
    case Outcome::Aborted: return SourceResult::of(Answer::Stopped, withApiReason(jquants_text::kDisconnected, status));
    case Outcome::Expired:  // a download link that was asked again and still refused
    case Outcome::ConnectionFailed:
    default: return SourceResult::of(Answer::ConnectionFailed, withApiReason(jquants_text::kDisconnected, status));
    }
}

SourceResult JQuantsSource::stopFor(const Status& status) const {
    SourceResult r = answerOf(status, app_);
    r.detail = status.message;
    if (const std::string said = notes(); !said.empty()) r.reason += "\n" + said;
    return r;
}

SourceResult JQuantsSource::codeBars(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& rows) {
    const Status s = history(code, from, to, margin, rows);
    if (!s.ok()) return stopFor(s);
    return SourceResult::of(rows.dates.empty() ? Answer::NoData : Answer::Data);
}

SourceResult JQuantsSource::marginHistory(int code, std::int32_t from, std::int32_t to, MarginRows& rows) {
    const Status s = marginHistory(code, from, to, rows.dates, rows.buys, rows.sells);
    if (!s.ok()) return stopFor(s);
    return SourceResult::of(rows.dates.empty() ? Answer::NoData : Answer::Data);
}

SourceResult JQuantsSource::indexBars(int indexCode, std::int32_t from, std::int32_t to, HistoryRows& rows) {
    rows = {};
    if (indexCode != 102) {
        note(jquants_text::kNoNikkei);  // answered with no rows: nothing is written for it
        return {};
    }
    const Status s = topix(from, to, rows);
    return s.ok() ? SourceResult{} : stopFor(s);
}

SourceResult JQuantsSource::businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) {
    const Status s = calendarDays(from, to, days);
    return s.ok() ? SourceResult{} : stopFor(s);
}

SourceResult JQuantsSource::marketCalendar(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) {
    days.clear();
    jquants::Calendar calendar;
    if (const Status s = client_->calendar(from, to, calendar); !s.ok()) return stopFor(s);
    for (const jquants::CalendarDay& d : calendar.rows)
        if (d.businessDay() && d.date >= from && d.date <= to) days.push_back(d.date);
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    return {};
}

SourceResult JQuantsSource::marketBars(std::int32_t day, jquants::DailyBars& bars) {
    const Status s = client_->dailyBarsByDate(day, bars);
    return s.ok() ? SourceResult{} : stopFor(s);
}

SourceResult JQuantsSource::marketMargins(std::int32_t day, jquants::MarginBalances& balances) {
    const Status s = client_->marginInterestByDate(day, balances);
    return s.ok() ? SourceResult{} : stopFor(s);
}

SourceResult JQuantsSource::marketTopix(std::int32_t from, std::int32_t to, jquants::IndexBars& bars) {
    const Status s = client_->topix(from, to, bars);
    return s.ok() ? SourceResult{} : stopFor(s);
}

SourceResult JQuantsSource::listedIssues(const IndexTable& local, MasterIndex& list) {
    jquants::ListedMaster master;
    if (const Status s = listedMaster(master); !s.ok()) return stopFor(s);
    std::error_code ignored;
    list = indexFromMaster(master, local, std::filesystem::is_regular_file(layout::dataFile(app_, kTopixCode), ignored));
    return {};
}

SourceResult JQuantsSource::listedCodes(std::vector<int>& codes) {
    const Status s = stockCodes(codes);
    return s.ok() ? SourceResult{} : stopFor(s);
}

}  // namespace quarlink
