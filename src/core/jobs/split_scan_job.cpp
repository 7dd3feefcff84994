#include "core/jobs/split_scan_job.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>

#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"
#include "core/store/folder_layout.h"
#include "core/store/index_flags.h"
#include "core/store/number_text.h"
#include "core/store/text_encoding.h"
#include "core/web/jquants/jquants_json.h"

namespace quarlink {

namespace fs = std::filesystem;

namespace {

bool holds(const std::vector<CodeSplit>& list, const CodeSplit& s) {
    return std::any_of(list.begin(), list.end(),
                       [&](const CodeSplit& p) { return p.code == s.code && p.split.date == s.split.date; });
}

}  // namespace

SplitScanJob::SplitScanJob(Application& app, HtmlValueFormat& reader, Endpoints endpoints,
                           const WebEnvironment& environment)
    : app_(app), clock_(*environment.clock), sources_(app, reader, endpoints, environment), plan_(endpoints.jquantsPlan) {}

void SplitScanJob::forget() {
    if (files_) files_->watchBars({});
    files_ = nullptr;
    days_.clear();
    next_ = daysScanned_ = 0;
    book_ = SplitBook{};
    windowNote_.clear();
    scanned_ = false;
    found_.clear();
    written_.clear();
}

JobOutcome SplitScanJob::open() {
    settings = Settings{};
    action = Action::Scan;
    setSettingsTaken(false);
    forget();
    JobOutcome o;
    o.state = JobState::Idle;
    o.status = split_scan_text::kInitialStatus;
    o.progress = 0;
    return o;
}

std::int32_t SplitScanJob::defaultFrom() const {
    const LocalDateTime now = clock_.japanNow();
    return (now.year - 1) * 10000 + now.month * 100 + (now.month == 2 && now.day == 29 ? 28 : now.day);
}

void SplitScanJob::abort() {
    stopRequested_ = true;
    sources_.abort();
}

int SplitScanJob::progress() const {
    if (files_) return files_->totalCount() ? static_cast<int>(files_->gatheredCount() * 100 / files_->totalCount()) : 0;
    return days_.empty() ? 0 : static_cast<int>(next_ * 100 / days_.size());
}

bool SplitScanJob::resumable() const {
    return files_ ? files_->gatheredCount() < files_->totalCount() : next_ < days_.size();
}

JobOutcome SplitScanJob::refused(std::string message) const {
    JobOutcome o;
    o.state = JobState::Idle;
    o.message = std::move(message);
    return o;
}

JobOutcome SplitScanJob::stoppedOn(const SourceResult& answer) const {
    JobOutcome o = stoppedBy(answer);
    o.progress = progress();
    if (o.stopReason == JobOutcome::StopReason::Connection && next_ > 0 && next_ < days_.size())
        o.message = o.message.value_or(std::string(jquants_text::kDisconnected)) + "\n" +
                    fillIn(split_scan_text::kScannedBefore, {jquants::isoDate(days_[next_])});
    return o;
}

JobOutcome SplitScanJob::start() {
    if (action == Action::Write) return write();
    stopRequested_ = false;
    DataSource& source = sources_.of(settings.source);
    if (resumable()) {
        JobOutcome o;
        o.state = JobState::Running;
        o.progress = progress();
        if (files_) {
            files_->restart();
            o.status = fillIn(split_scan_text::kFilesContinuing,
                              {std::to_string(files_->totalCount() - files_->gatheredCount())});
            return o;
        }
        source.restart();
        o.status = fillIn(split_scan_text::kContinuing,
                       {jquants::isoDate(days_[next_]), std::to_string(days_.size() - next_)});
        return o;
    }
    setSettingsTaken(true);
    forget();

    market_ = source.marketDays();
    if (!market_) return refused(split_scan_text::kNotJQuants);
    const std::int32_t today = clock_.japanNow().yyyymmdd();
    const std::int32_t from = settings.from ? settings.from : defaultFrom();
    if (from > today)
        return refused(fillIn(split_scan_text::kFromAfterToday, {jquants::isoDate(from), jquants::isoDate(today)}));
    if (std::string missing = missingFolderMessage(layout::chartFolder(app_), kMissingChartFolder); !missing.empty())
        return refused(missing);

    hasFile_.assign(kCodeCount, false);
    bool any = false;
    std::error_code ec;
    for (fs::directory_iterator it(layout::dataFolder(app_), ec), end; !ec && it != end; it.increment(ec)) {
        // Only stocks have factors; the indices' files are no stock's.
        const int code = layout::codeOfName(it->path().filename().string());
        std::error_code kind;
        if (code >= 1000 && it->symlink_status(kind).type() == fs::file_type::regular) any = hasFile_[code] = true;
    }
    if (!any) return refused(fillIn(split_scan_text::kNoPriceFiles, {layout::dataFolder(app_).string()}));

    index_ = IndexTable{};
    std::string bytes, why;
    errno = 0;
    if (readWholeFile(layout::indexFile(app_), bytes, &why))
        readIndexTable(bytes, index_);
    else if (errno != ENOENT)  // no index.txt yet: every split found waits in the pending list
        return refused(split_scan_text::kIndexUnreadable + why);

    source.restart();
    sources_.api().onWait = [this](const std::string& line) { if (onWait) onWait(line); };
    if (const SourceResult r = source.connect(); !r.answered()) return stoppedOn(r);
    // Free serves days up to weeks back: the calendar keeps to the plan's window and says so at the end.
    if (const jquants::Status s = sources_.api().calendarDays(from, today, days_); !s.ok()) {
        days_.clear();
        return stoppedOn(sources_.api().stopFor(s));
    }
    if (!days_.empty() && !sources_.api().notes().empty())
        windowNote_ = fillIn(split_scan_text::kWindow, {jquants::isoDate(days_.front()), jquants::isoDate(days_.back())});
    if (days_.empty()) return finished();
    // The bars' files where the plan has them: a month a request, not twenty.
    if (kindFacts(settings.source).byPlan && planFacts(plan_).hasBulk) return startFiles(from, today);
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = 0;
    o.status = fillIn(split_scan_text::kDaysToScan, {std::to_string(days_.size()), jquants::isoDate(days_.front()),
                                                  jquants::isoDate(days_.back())});
    return o;
}

JobOutcome SplitScanJob::startFiles(std::int32_t from, std::int32_t today) {
    DataSource& source = sources_.forHistory(settings.source);
    JQuantsHistory* history = source.history();
    sources_.setOnWait([this](const std::string& line) { if (onWait) onWait(line); });
    source.restart();
    if (const SourceResult r = source.connect(); !r.answered()) return stoppedOn(r);
    history->watchBars([this](const jquants::DailyBar& bar) { readFactor(bar); });
    HistoryCost cost;
    if (const SourceResult r = history->plan(from, today, false, false, cost); !r.answered()) {
        history->watchBars({});
        return stoppedOn(r);
    }
    files_ = history;
    daysScanned_ = days_.size();
    if (!resumable()) return finished();
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = 0;
    o.status = fillIn(split_scan_text::kFilesToScan, {std::to_string(files_->totalCount()), std::to_string(days_.size()),
                                                      jquants::isoDate(days_.front()), jquants::isoDate(days_.back())});
    return o;
}

void SplitScanJob::readFactor(const jquants::DailyBar& bar) {
    if (bar.code < 0 || bar.code >= kCodeCount || !hasFile_[bar.code]) return;
    if (double ratio = 0; splitOfFactor(bar.adjFactor, ratio)) {
        book_.add(bar.code, Split{bar.date, ratio});
        ++splitsInUnit_;
    }
}

JobOutcome SplitScanJob::scanFile() {
    std::string unit;
    splitsInUnit_ = 0;
    const SourceResult r = files_->gatherNext(unit);
    if (r.answer == Answer::NoData) return finished();
    if (!r.answered()) return stoppedOn(r);
    if (!resumable()) return finished();
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = progress();
    o.status = fillIn(split_scan_text::kFileScanned, {unit, std::to_string(splitsInUnit_),
                                                      std::to_string(files_->totalCount() - files_->gatheredCount())});
    return o;
}

JobOutcome SplitScanJob::tick() {
    if (!resumable()) return finished();
    if (stopRequested_) {
        SourceResult stop = SourceResult::of(Answer::Stopped, jquants_text::kDisconnected);
        return stoppedOn(stop);
    }
    return files_ ? scanFile() : scan();
}

bool SplitScanJob::keepWindow(const SourceResult& answer) {
    if (answer.answer != Answer::OutsidePlan || (!answer.windowFrom && !answer.windowTo)) return false;
    const std::int32_t from = answer.windowFrom, to = answer.windowTo ? answer.windowTo : days_.back();
    // The day asked was refused, so the window must leave it out.
    if (days_[next_] >= from && days_[next_] <= to) return false;
    const auto outside = [&](std::int32_t d) { return d < from || d > to; };
    days_.erase(std::remove_if(days_.begin() + static_cast<std::ptrdiff_t>(next_), days_.end(), outside), days_.end());
    windowNote_ = fillIn(split_scan_text::kWindow,
                      {from ? jquants::isoDate(from) : "", answer.windowTo ? jquants::isoDate(to) : ""});
    return true;
}

JobOutcome SplitScanJob::scan() {
    const std::int32_t day = days_[next_];
    jquants::DailyBars bars;
    const SourceResult r = market_->marketBars(day, bars);
    if (keepWindow(r)) {
        JobOutcome o;
        o.state = JobState::Running;
        o.progress = progress();
        return next_ < days_.size() ? o : finished();
    }
    if (!r.answered()) return stoppedOn(r);
    std::size_t splits = 0;
    for (const jquants::DailyBar& bar : bars.rows) {
        if (bar.date != day || bar.code < 0 || bar.code >= kCodeCount || !hasFile_[bar.code]) continue;
        if (double ratio = 0; splitOfFactor(bar.adjFactor, ratio)) {
            book_.add(bar.code, Split{day, ratio});
            ++splits;
        }
    }
    ++next_;
    ++daysScanned_;
    if (next_ >= days_.size()) return finished();
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = progress();
    o.status = fillIn(split_scan_text::kDayScanned,
                   {jquants::isoDate(day), std::to_string(splits), std::to_string(days_.size() - next_)});
    return o;
}

JobOutcome SplitScanJob::stop() {
    JobOutcome o = Job::stop();
    o.progress = progress();
    if (!files_ && next_ < days_.size()) o.status = fillIn(split_scan_text::kStopped, {jquants::isoDate(days_[next_])});
    return o;
}

JobOutcome SplitScanJob::finished() {
    const std::vector<CodeSplit> pending = loadPendingSplits(app_);
    found_.clear();
    for (const CodeSplit& s : book_.found()) {
        const std::vector<Split> known = parseFlags(index_.flags[s.code]).splits;
        const bool inIndex = index_.isRegistered(s.code) &&
                             std::any_of(known.begin(), known.end(), [&](const Split& k) { return k.date == s.split.date; });
        if (!inIndex && !holds(pending, s)) found_.push_back(s);
    }
    std::sort(found_.begin(), found_.end(), [](const CodeSplit& a, const CodeSplit& b) {
        return a.code != b.code ? a.code < b.code : a.split.date < b.split.date;
    });
    scanned_ = true;
    JobOutcome o;
    o.state = JobState::Finished;
    o.progress = 100;
    o.status = fillIn(split_scan_text::kDone, {std::to_string(daysScanned_), std::to_string(found_.size())});
    if (!windowNote_.empty()) o.message = windowNote_;
    else if (files_ && !files_->notes().empty()) o.message = files_->notes();
    return o;
}

JobOutcome SplitScanJob::write() {
    JobOutcome o;
    if (!scanned_) {
        o.state = JobState::Stopped;
        o.stopReason = JobOutcome::StopReason::Failed;
        o.message = split_scan_text::kNotScanned;
        return o;
    }
    o.state = JobState::Finished;
    written_.clear();
    if (found_.empty()) {
        o.status = split_scan_text::kNothingToWrite;
        return o;
    }
    SplitBook book;
    for (const CodeSplit& s : found_) book.add(s.code, s.split);
    std::string error;
    if (!book.commit(app_, &written_, &error)) {
        o.state = JobState::Stopped;
        o.stopReason = JobOutcome::StopReason::Failed;
        o.message = split_scan_text::kWriteFailed + error;
        return o;
    }
    found_.clear();
    o.status = fillIn(split_scan_text::kWritten, {std::to_string(written_.size())});
    std::vector<CodeSplit> waiting;
    for (const CodeSplit& s : loadPendingSplits(app_))
        if (holds(written_, s)) waiting.push_back(s);
    if (!waiting.empty()) o.message = split_scan_text::kPendingNote + splitsText(waiting);
    return o;
}

std::string SplitScanJob::nameOf(int code) const {
    if (code < 0 || code >= kCodeCount || !index_.isRegistered(code)) return {};
    return echoText(cp932ToUtf8(index_.name[code]));
}

}  // namespace quarlink
