#include "core/jobs/catch_up_job.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "core/sources/jquants_source.h"
#include "core/sources/master_index.h"
#include "core/store/atomic_file.h"
#include "core/store/batch_writer.h"
#include "core/store/folder_layout.h"
#include "core/store/index_table.h"
#include "core/store/number_text.h"
#include "core/store/price_file.h"
#include "core/store/price_series.h"
#include "core/web/jquants/jquants_json.h"
#include "core/web/jquants/jquants_text.h"

namespace quarlink {

namespace fs = std::filesystem;
using jquants::Outcome;

namespace {

// Balances a new record of `day` carries when the day has no margin row: the
// file's own record of that day when it holds any, else the record before.
void carryBalances(const PriceSeries& series, std::int32_t day, PriceRecord& record) {
    const PriceRecord* same = nullptr;
    const PriceRecord* before = nullptr;
    for (const PriceRecord& r : series.rows) {
        if (r.date == day && !same) same = &r;
        else if (r.date < day && (!before || r.date >= before->date)) before = &r;
    }
    const PriceRecord* from = same && (same->marginBuy || same->marginSell) ? same : before;
    if (from) record.marginBuy = from->marginBuy, record.marginSell = from->marginSell;
}

}  // namespace

CatchUpJob::CatchUpJob(Application& app, const Endpoints& endpoints, const WebEnvironment& environment)
    : app_(app), clock_(*environment.clock), api_(app, endpoints, environment), bulk_(endpoints, api_) {}

CatchUpJob::~CatchUpJob() {
    abort();
    dropAhead();
    std::string error;
    if (writeGathered(error)) settle();
}

namespace {
// "<first day> <chart folder>" of a run whose appends may not be on disk yet.
constexpr const char* kRunMark = "jquants-catch-up.run";
}  // namespace

bool CatchUpJob::markRun(std::int32_t firstDay, std::string& error) {
    return replaceFileAtomically(app_.workDir / kRunMark,
                                 std::to_string(firstDay) + " " + layout::chartFolder(app_).string() + "\n", &error);
}

std::int32_t CatchUpJob::markedDay() const {
    std::string text;
    if (!readWholeFile(app_.workDir / kRunMark, text)) return 0;
    std::int32_t day = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), day);
    // A mark left for another chart folder says nothing about this one.
    if (ec != std::errc() || end == text.data() + text.size() ||
        text.substr(static_cast<std::size_t>(end - text.data()) + 1) != layout::chartFolder(app_).string() + "\n")
        return 0;
    return day;
}

bool CatchUpJob::marked(std::string& error) {
    if (markWritten_.valid()) markError_ = markWritten_.get();
    error = markError_;
    return error.empty();
}

bool CatchUpJob::settle() {
    if (markWritten_.valid()) markError_ = markWritten_.get();
    if (!unsettled_ && splits_.empty()) return true;
    if (unsettled_ && !syncFileSystem(layout::dataFolder(app_))) {
        settleError_ = fillIn(catch_up_text::kFlushError, {layout::dataFolder(app_).string()});
        return false;
    }
    // The splits reach index.txt before the mark goes: a run cut short
    // between the two is taken in again from its first day, splits included.
    std::vector<CodeSplit> recorded;
    if (std::string error; !splits_.commit(app_, &recorded, &error)) {
        settleError_ = fillIn(catch_up_text::kSplitsError, {error});
        return false;
    }
    newSplits_.insert(newSplits_.end(), recorded.begin(), recorded.end());
    unsettled_ = false;
    std::error_code ec;
    fs::remove(app_.workDir / kRunMark, ec);
    return true;
}

JobOutcome CatchUpJob::ended(JobOutcome o) {
    // A stop keeps every day taken so far.
    if (std::string error; !writeGathered(error)) return stopped(JobOutcome::StopReason::Failed, error);
    if (!settle()) return stopped(JobOutcome::StopReason::Failed, settleError_);
    // The run's last line names the splits it recorded.
    if (!newSplits_.empty()) {
        const std::string line = fillIn(catch_up_text::kSplitsRecorded, {splitsText(newSplits_)});
        o.message = o.message && !o.message->empty() ? *o.message + "\n" + line : line;
        newSplits_.clear();
    }
    return o;
}

JobOutcome CatchUpJob::stop() {
    dropAhead();
    return ended(Job::stop());
}

void CatchUpJob::dropAhead() {
    if (ahead_.valid()) ahead_.wait();
    ahead_ = {};
}

CatchUpJob::Fetched CatchUpJob::fetch(std::size_t step, bool margin) {
    Fetched f;
    f.day = days_[step];
    MarketDays& market = *api_.marketDays();
    f.bars = bulk_.bars(f.day, f.rows);
    f.fromFile = f.bars.answer == Answer::Data;
    if (f.bars.answer == Answer::NoData) f.bars = market.marketBars(f.day, f.rows);
    // The balances of the margin days this step carries (a day's balances
    // are not written with it, so they may come with any step).
    for (std::size_t j = step; margin && f.bars.answered() && j < marginDays_.size(); j += days_.size()) {
        f.balances.emplace_back();
        f.margin = bulk_.margins(marginDays_[j], f.balances.back());
        if (f.margin.answer == Answer::NoData) f.margin = market.marketMargins(marginDays_[j], f.balances.back());
        if (!f.margin.answered()) break;
    }
    return f;
}

JobOutcome CatchUpJob::open() {
    dropAhead();
    settings = {};
    days_.clear();
    next_ = 0;
    bulk_.clear();
    marginDays_.clear();
    balances_.clear();
    movedCodes_.clear();
    gathered_.clear();
    gatheredDays_ = 0;
    marginInPlan_ = true;
    windowStop_ = {};
    splits_ = {};
    newSplits_.clear();
    notes_.clear();
    daysWritten_ = records_ = skipped_ = 0;
    setAside_.clear();
    oddFiles_.clear();
    futureFiles_.clear();
    unreadableFiles_.clear();
    setSettingsTaken(false);
    JobOutcome o;
    o.state = JobState::Idle;
    o.progress = 0;
    return o;
}

void CatchUpJob::abort() {
    stopRequested_ = true;
    api_.abort();
    bulk_.abort();
}

JobOutcome CatchUpJob::stopped(JobOutcome::StopReason reason, std::string message) const {
    JobOutcome o;
    o.state = JobState::Stopped;
    o.stopReason = reason;
    o.progress = progress();
    o.message = std::move(message) + noteText();
    return o;
}

namespace {
// Outside the plan by its dates, not by its data.
bool outsideWindow(const SourceResult& r) {
    return r.answer == Answer::OutsidePlan && (r.windowFrom || r.windowTo);
}
bool dataNotInPlan(const SourceResult& r) { return r.answer == Answer::OutsidePlan && !outsideWindow(r); }
}  // namespace

JobOutcome CatchUpJob::failedRequest(const SourceResult& answer) const {
    switch (answer.answer) {
    case Answer::Refused:
    case Answer::OutsidePlan:
        if (outsideWindow(answer))
            return stopped(JobOutcome::StopReason::Failed,
                           withApiReason(fillIn(catch_up_text::kPlanWindow, {answer.windowTo ? jquants::isoDate(answer.windowTo)
                                                                                          : std::string("…")}),
                                         answer.detail));
        return stopped(JobOutcome::StopReason::Failed, answer.reason);
    case Answer::Unrecognised: return stopped(JobOutcome::StopReason::UnrecognisedPage, answer.reason);
    default: {
        std::string text = jquants_text::kDisconnected;
        if (const std::int32_t day = currentDay()) text += fillIn(catch_up_text::kStoredBefore, {jquants::isoDate(day)});
        return stopped(JobOutcome::StopReason::Connection, withApiReason(text, answer.detail));
    }
    }
}

int CatchUpJob::progress() const {
    return days_.empty() ? 0 : static_cast<int>(next_ * 100 / days_.size());
}

std::string CatchUpJob::noteText() const {
    std::string text;
    for (const std::string& n : notes_) text += "\n" + n;
    for (const SkippedFiles* list : {&oddFiles_, &futureFiles_, &unreadableFiles_})
        if (list->count() > 0) text += "\n" + list->report();
    return text;
}

void CatchUpJob::setAside(int code, SkippedFiles& list, const std::string& why) {
    if (setAside_.insert(code).second) list.add(layout::dataFile(app_, code), why);
}

void CatchUpJob::note(std::string text) {
    if (std::find(notes_.begin(), notes_.end(), text) == notes_.end()) notes_.push_back(std::move(text));
}

JobOutcome CatchUpJob::done() const { return windowStop_.answered() ? finished() : failedRequest(windowStop_); }

JobOutcome CatchUpJob::finished() const {
    JobOutcome o;
    o.state = JobState::Finished;
    o.progress = 100;
    o.status = fillIn(catch_up_text::kDone, {grouped(daysWritten_), grouped(records_), grouped(skipped_)});
    if (!movedCodes_.empty()) *o.status += fillIn(catch_up_text::kMarginPlaced, {grouped(movedCodes_.size())});
    if (const std::string notes = noteText(); !notes.empty()) o.message = notes.substr(1);
    return o;
}

std::int32_t CatchUpJob::newestStockDate(std::int32_t today) {
    std::int32_t newest = 0;
    std::error_code ec;
    for (fs::directory_iterator it(layout::dataFolder(app_), ec), end; !ec && it != end; it.increment(ec)) {
        const int code = layout::codeOfName(it->path().filename().string());
        if (code < 1000) continue;
        // Odd files are named when the run comes to their code.
        PriceFile file;
        if (!file.open(it->path(), PriceFile::Mode::Read)) continue;
        const PriceRecord last = file.readLastRecord();
        if (!jquants::parseDate(std::to_string(last.date))) continue;
        // A damaged or hand-made file must not hold every other code back.
        if (last.date > today)
            setAside(code, futureFiles_, jquants::isoDate(last.date));
        else
            newest = std::max(newest, last.date);
    }
    return newest;
}

JobOutcome CatchUpJob::start() {
    setSettingsTaken(true);
    dropAhead();
    stopRequested_ = false;
    api_.restart();
    bulk_.restart();
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = progress();
    if (!days_.empty()) {  // resuming after a stop
        if (next_ >= days_.size()) return ended(done());
        if (markWritten_.valid()) markWritten_.get();
        if (std::string error; !markRun(currentDay(), error)) return stopped(JobOutcome::StopReason::Failed, error);
        markError_.clear();
        unsettled_ = true;
        o.status = fillIn(catch_up_text::kContinuing, {jquants::isoDate(currentDay()), std::to_string(daysLeft())});
        return o;
    }

    if (std::string missing = missingFolderMessage(layout::chartFolder(app_), kMissingChartFolder); !missing.empty())
        return stopped(JobOutcome::StopReason::Failed, missing);
    api_.onWait = [this](const std::string& line) { if (onWait) onWait(line); };
    if (const SourceResult refused = api_.connect(); !refused.answered())
        return stopped(JobOutcome::StopReason::Failed, refused.reason);

    // No day after today in Japan is ever stored, whatever is asked.
    today_ = clock_.japanNow().yyyymmdd();
    std::int32_t through = settings.through ? settings.through : today_;
    if (through > today_) {
        note(fillIn(catch_up_text::kThroughCut, {jquants::isoDate(through), jquants::isoDate(today_)}));
        through = today_;
    }
    // The newest day in the data is taken in again: a run stopped or killed
    // in the middle of a day leaves it in only some of the files.
    std::int32_t from = settings.from;
    if (!from && !(from = newestStockDate(today_)))
        return stopped(JobOutcome::StopReason::Failed,
                       fillIn(catch_up_text::kNoStockFile, {layout::dataFolder(app_).string()}));
    if (std::string error; !ensureFolder(layout::dataFolder(app_), &error))
        return stopped(JobOutcome::StopReason::Failed, error);

    if (settings.indexOnly) {
        std::vector<int> codes;
        if (loadCodeList(layout::indexFile(app_), codes) == 0)
            return stopped(JobOutcome::StopReason::Failed,
                           fillIn(catch_up_text::kNoCodes, {layout::indexFile(app_).string()}));
        registered_ = {codes.begin(), codes.end()};
    }
    if (settings.nikkei) note(catch_up_text::kNoNikkei);

    // A run cut short before its appends were flushed left its first day.
    if (const std::int32_t marked = markedDay(); marked && marked < from) from = marked;
    if (from > through) return finished();

    MarketDays& market = *api_.marketDays();
    std::vector<std::int32_t> days;
    SourceResult calendar = market.marketCalendar(from, through, days);
    // A plan whose dates end before `through` (Free) has its calendar asked
    // within them: the days there are stored, then the run stops saying so.
    if (outsideWindow(calendar) && calendar.windowTo >= from && calendar.windowTo < through) {
        windowStop_ = calendar;
        calendar = market.marketCalendar(std::max(from, calendar.windowFrom), calendar.windowTo, days);
    }
    if (!calendar.answered()) return failedRequest(calendar);
    if (days.empty()) return done();

    if (settings.topix) {
        jquants::IndexBars bars;
        if (const SourceResult r = market.marketTopix(days.front(), days.back(), bars); !r.answered()) {
            if (dataNotInPlan(r))
                return stopped(JobOutcome::StopReason::Failed, withApiReason(catch_up_text::kTopixPlan, r.detail));
            return failedRequest(r);
        }
        for (const jquants::IndexBar& bar : bars.rows) topix_[bar.date] = bar;
    }
    if (settings.margin) {
        // The business days before the first whose balances may have come
        // out since: a weekly row is published two business days after its
        // Friday, later over holidays. Left out when the plan's dates do not
        // reach them.
        std::vector<std::int32_t> before;
        const SourceResult r = market.marketCalendar(addDays(days.front(), -31), addDays(days.front(), -1), before);
        if (!r.answered() && r.answer != Answer::OutsidePlan) return failedRequest(r);
        if (before.size() > kMarginLookback) before.erase(before.begin(), before.end() - kMarginLookback);
        marginDays_ = std::move(before);
        marginDays_.insert(marginDays_.end(), days.begin(), days.end());
    }
    // A gap back into past months takes them from their files (on a plan
    // that has them); the days of this month are always the API's.
    if (days.front() < today_ / 100 * 100 + 1) {
        const std::int32_t marginFrom = marginDays_.empty() ? 0 : marginDays_.front();
        if (const SourceResult r = bulk_.plan(days.front(), days.back(), marginFrom, marginFrom ? marginDays_.back() : 0);
            !r.answered())
            return failedRequest(r);
    }
    markError_.clear();
    markWritten_ = std::async(std::launch::async, [this, first = days.front()] {
        std::string error;
        markRun(first, error);
        return error;
    });
    unsettled_ = true;
    days_ = std::move(days);
    next_ = 0;
    o.status = fillIn(catch_up_text::kDaysToTake,
                   {std::to_string(days_.size()), jquants::isoDate(days_.front()), jquants::isoDate(days_.back())});
    if (const std::size_t files = bulk_.files())
        *o.status += fillIn(catch_up_text::kFromFiles, {std::to_string(bulk_.barDays(days_)), std::to_string(files)});
    return o;
}

bool CatchUpJob::storeDay(std::int32_t day, const jquants::DailyBars& bars, std::string& error) {
    for (const jquants::DailyBar& bar : bars.rows) {
        if (bar.date != day || (settings.indexOnly && !registered_.count(bar.code)) || setAside_.count(bar.code))
            continue;
        splits_.addFactor(bar.code, day, bar.adjFactor);
        // A day without trade stores nothing, as a "---" quote does.
        if (!bar.traded) continue;
        gathered_[bar.code].rows.push_back(PriceRecord{day, roundToWhole(bar.open), roundToWhole(bar.high),
                                                       roundToWhole(bar.low), roundToWhole(bar.close),
                                                       roundToWhole(bar.volume), 0, 0});
        ++records_;
    }
    if (const auto t = topix_.find(day); t != topix_.end()) {
        const jquants::IndexBar& bar = t->second;
        const auto hundredths = [](double v) { return roundToWhole(v * 100); };
        Gathered& g = gathered_[kTopixCode];
        g.carries = false;
        g.rows.push_back(PriceRecord{day, hundredths(bar.open), hundredths(bar.high), hundredths(bar.low),
                                     hundredths(bar.close), 0, 0, 0});
    }
    // The days are written once a run (or once every kGatherDays of a long
    // one), each file in one write; the run's mark guards them until then.
    return ++gatheredDays_ < kGatherDays || writeGathered(error);
}

JobOutcome CatchUpJob::tick() {
    JobOutcome o = step();
    return o.state == JobState::Running ? o : ended(std::move(o));
}

JobOutcome CatchUpJob::step() {
    if (next_ >= days_.size()) return done();
    const std::int32_t day = days_[next_];
    if (stopRequested_) {
        SourceResult stop = SourceResult::of(Answer::Stopped);
        stop.detail = "中断しました";
        return failedRequest(stop);
    }
    Fetched f = ahead_.valid() ? ahead_.get() : Fetched{};
    if (f.day != day) f = fetch(next_, settings.margin && marginInPlan_);
    if (!f.bars.answered()) return failedRequest(f.bars);
    if (dataNotInPlan(f.margin)) {
        // New records keep the balances they carried.
        marginInPlan_ = false;
        note(catch_up_text::kMarginNotInPlan);
        marginDays_.clear();
        balances_.clear();
    } else if (!f.margin.answered()) {
        return failedRequest(f.margin);
    }
    if (next_ + 1 < days_.size() && !stopRequested_)
        ahead_ = std::async(std::launch::async, &CatchUpJob::fetch, this, next_ + 1, settings.margin && marginInPlan_);
    for (const jquants::MarginBalances& got : f.balances) {
        if (got.corrections) note(fillIn(jquants_text::kMarginCorrections, {std::to_string(got.corrections)}));
        for (const jquants::MarginBalance& b : got.rows)
            if ((!settings.indexOnly || registered_.count(b.code)) && !setAside_.count(b.code))
                balances_[b.code].push_back(b);
    }
    const jquants::DailyBars& bars = f.rows;

    const std::size_t recordsBefore = records_;
    if (std::string error; !storeDay(day, bars, error))
        return stopped(JobOutcome::StopReason::Failed, fillIn(catch_up_text::kCannotStore, {jquants::isoDate(day), error}));
    if (records_ > recordsBefore) ++daysWritten_;
    skipped_ += bars.otherCodes;
    ++next_;
    if (next_ >= days_.size()) {
        std::string error;
        if (!(balances_.empty() ? writeGathered(error) : placeAllBalances(error)))
            return stopped(JobOutcome::StopReason::Failed, fillIn(catch_up_text::kCannotStore, {jquants::isoDate(day), error}));
        return done();
    }

    JobOutcome o;
    o.state = JobState::Running;
    o.progress = progress();
    o.status = fillIn(f.fromFile ? catch_up_text::kDayFromFile : catch_up_text::kDayStored,
                      {jquants::isoDate(day), f.fromFile ? bulk_.barsFileName(day) : std::to_string(bars.pages),
                       grouped(records_ - recordsBefore), jquants::isoDate(days_[next_]), std::to_string(daysLeft())});
    return o;
}

namespace {
// Puts on `r` the newest of the balances (ascending by record date) dated on
// or before it; true when that changed it.
bool balanceOn(const std::vector<jquants::MarginBalance>& list, PriceRecord& r) {
    const auto after = std::upper_bound(list.begin(), list.end(), r.date,
                                        [](std::int32_t d, const jquants::MarginBalance& b) { return d < b.date; });
    if (after == list.begin()) return false;
    const std::int32_t buy = roundToWhole(std::prev(after)->longVol), sell = roundToWhole(std::prev(after)->shortVol);
    if (r.marginBuy == buy && r.marginSell == sell) return false;
    r.marginBuy = buy, r.marginSell = sell;
    return true;
}
}  // namespace

struct CatchUpJob::CodeWrite {
    int code = 0;
    Gathered* gathered = nullptr;  // none: balances only
    const std::vector<jquants::MarginBalance>* balances = nullptr;
};

bool CatchUpJob::writeCodes(std::vector<CodeWrite>& codes, std::string& error) {
    const auto write = [this](auto from, auto to, BatchWriter& batch, std::string& why) {
        Gathered none;
        for (auto c = from; c != to; ++c)
            if (!writeCode(c->code, c->gathered ? *c->gathered : none, c->balances, batch, why)) return false;
        return true;
    };
    const auto half = codes.begin() + static_cast<std::ptrdiff_t>(codes.size() / 2);
    BatchWriter batch, otherBatch;
    std::string otherError;
    std::future<bool> other;
    if (half != codes.begin())
        other = std::async(std::launch::async, write, half, codes.end(), std::ref(otherBatch), std::ref(otherError));
    bool ok = write(codes.begin(), other.valid() ? half : codes.end(), batch, error);
    if (other.valid() && !other.get() && ok) {
        ok = false;
        error = otherError;
    }
    ok = ok && flushBatch(otherBatch, error);
    return ok && flushBatch(batch, error);
}

bool CatchUpJob::writeGathered(std::string& error) {
    if (!marked(error)) return false;
    std::vector<CodeWrite> codes;
    for (auto& [code, g] : gathered_)
        if (!g.rows.empty()) codes.push_back({code, &g, nullptr});
    gatheredDays_ = 0;
    return writeCodes(codes, error);
}

bool CatchUpJob::placeAllBalances(std::string& error) {
    if (!marked(error)) return false;
    std::vector<CodeWrite> codes;
    for (auto& [code, list] : balances_)
        std::stable_sort(list.begin(), list.end(),
                         [](const jquants::MarginBalance& a, const jquants::MarginBalance& b) { return a.date < b.date; });
    for (auto& [code, g] : gathered_) {
        const auto list = balances_.find(code);
        codes.push_back({code, &g, list == balances_.end() ? nullptr : &list->second});
    }
    // Codes the run stored nothing for may still take balances on their records.
    for (const auto& [code, list] : balances_)
        if (!gathered_.count(code)) codes.push_back({code, nullptr, &list});
    gatheredDays_ = 0;
    if (!writeCodes(codes, error)) return false;
    balances_.clear();
    return true;
}

bool CatchUpJob::flushBatch(BatchWriter& batch, std::string& error) {
    if (batch.flush()) return true;
    error = fillIn(catch_up_text::kFlushError, {layout::dataFolder(app_).string()});
    return false;
}

void CatchUpJob::leaveOut(int code, Gathered& g, SkippedFiles& list, const std::string& why) {
    const std::lock_guard lock(writeMutex_);
    setAside(code, list, why);
    records_ -= std::min(records_, g.carries ? g.rows.size() : 0);
    g.rows.clear();
}

bool CatchUpJob::writeCode(int code, Gathered& g, const std::vector<jquants::MarginBalance>* balances,
                           BatchWriter& batch, std::string& error) {
    {
        const std::lock_guard lock(writeMutex_);
        if (setAside_.count(code)) return true;
    }
    std::vector<PriceRecord>& rows = g.rows;
    const fs::path path = layout::dataFile(app_, code);
    PriceFile file;
    std::string why;
    errno = 0;
    const bool exists = file.open(path, PriceFile::Mode::ReadWrite);
    if (!exists && errno != ENOENT) {
        if (examinePriceFile(path, &why) == PriceFileKind::Odd) leaveOut(code, g, oddFiles_, why);
        else leaveOut(code, g, unreadableFiles_, why);
        return true;
    }
    // The oldest date this write may change; the file's records from there
    // on and the two before it (for the balances a first record carries).
    std::int32_t from = rows.empty() ? std::numeric_limits<std::int32_t>::max() : rows.front().date;
    if (balances && !balances->empty()) from = std::min(from, balances->front().date);
    const std::int64_t count = exists ? file.recordCount() : 0;
    std::vector<PriceRecord> tail;
    std::int64_t start = count;
    for (int before = 0; start > 0 && before < 2;) {
        const std::int64_t slice = std::max<std::int64_t>(0, start - 64);
        std::string image;
        if (!file.readImage(slice, start - slice, image)) {
            leaveOut(code, g, unreadableFiles_, fileErrorText("cannot read", path, errno ? errno : EIO));
            return true;
        }
        const std::vector<PriceRecord> got = parseAllRecords(image).rows;
        for (const PriceRecord& r : got) before += r.date != kEndOfFileDate && r.date < from;
        tail.insert(tail.begin(), got.begin(), got.end());
        start = slice;
    }
    const PriceRecord last = tail.empty() ? PriceRecord{} : tail.back();
    if (last.date != kEndOfFileDate && last.date > today_) {
        leaveOut(code, g, futureFiles_, jquants::isoDate(last.date));
        return true;
    }
    bool moved = false;
    const auto withBalances = [&](PriceRecord& r) {
        if (balances && balanceOn(*balances, r)) moved = true;
    };
    // The run's records carry the code's last balances (the day's are not
    // out yet), then take those asked for their dates.
    const auto carryFrom = [&](PriceRecord previous) {
        for (PriceRecord& r : rows) {
            if (g.carries) r.marginBuy = previous.marginBuy, r.marginSell = previous.marginSell;
            withBalances(r);
            previous = r;
        }
    };

    // The common case: the days after the file's last record (or its last
    // day again) written in place at the whole-record boundary, together
    // with the balances that changed before them, in one write. A file with
    // other names (a snapshot's hard link) or days out of the way take the merge.
    const bool inPlace = exists && !file.hasOtherNames() && !tail.empty() && last.date != kEndOfFileDate &&
                         (rows.empty() || last.date <= rows.front().date);
    if (inPlace) {
        const bool again = !rows.empty() && last.date == rows.front().date;
        const std::size_t kept = tail.size() - (again ? 1 : 0);
        PriceRecord previous = last;
        if (again && !last.marginBuy && !last.marginSell) previous = kept > 0 ? tail[kept - 1] : PriceRecord{};
        std::size_t first = kept;
        for (std::size_t i = 0; i < kept; ++i) {
            if (tail[i].date == kEndOfFileDate || tail[i].date < from) continue;
            const PriceRecord before = tail[i];
            withBalances(tail[i]);
            if (!(tail[i] == before)) first = std::min(first, i);
        }
        carryFrom(again ? previous : tail[kept - 1]);
        PriceSeries written;
        written.rows.assign(tail.begin() + static_cast<std::ptrdiff_t>(first), tail.begin() + static_cast<std::ptrdiff_t>(kept));
        written.rows.insert(written.rows.end(), rows.begin(), rows.end());
        if (const std::string image = serializePriceSeries(written); !image.empty()) {
            if (!file.writeImage(start + static_cast<std::int64_t>(first), image)) {
                error = fileErrorText("cannot write", path, errno ? errno : EIO);
                return false;
            }
            unsettled_ = true;
        }
    } else {
        std::string before;
        if (exists && !readWholeFile(path, before, &why)) {
            leaveOut(code, g, unreadableFiles_, why);
            return true;
        }
        if (!rows.empty()) {
            PriceRecord previous = rows.front();
            previous.marginBuy = previous.marginSell = 0;
            carryBalances(parsePriceSeries(before), rows.front().date, previous);
            carryFrom(previous);
        }
        PriceSeries written;
        written.rows = rows;
        std::string merged = mergePriceImages(before, serializePriceSeries(written), true);
        for (std::size_t at = 0; balances && at + kRecordSize <= merged.size(); at += kRecordSize) {
            auto* bytes = reinterpret_cast<unsigned char*>(merged.data() + at);
            PriceRecord r = decodeRecord(bytes);
            if (r.date == kEndOfFileDate || r.date < from) continue;
            withBalances(r);
            encodeRecord(r, bytes);
        }
        if (merged != before && !batch.replace(path, merged, &error)) return false;
    }
    if (moved) {
        const std::lock_guard lock(writeMutex_);
        movedCodes_.insert(code);
    }
    rows.clear();
    return true;
}

}  // namespace quarlink
