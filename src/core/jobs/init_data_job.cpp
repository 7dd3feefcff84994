#include "core/jobs/init_data_job.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <unordered_map>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"
#include "core/store/price_file.h"

namespace quarlink {

namespace {

// The job's own text, then the system's reason on a line of its own.
std::string withCause(std::string text, const std::string& cause) {
    return cause.empty() ? text : text + "\n" + cause;
}

void addLine(std::optional<std::string>& message, const std::string& line) {
    message = message ? *message + "\n" + line : line;
}

}  // namespace

PriceSeries alignToCalendar(const std::vector<std::int32_t>& calendar, const std::vector<std::int32_t>& dates,
                            const std::vector<std::int32_t>& opens, const std::vector<std::int32_t>& highs,
                            const std::vector<std::int32_t>& lows, const std::vector<std::int32_t>& closes,
                            const std::vector<std::int32_t>& volumes, const std::vector<std::int32_t>& buys,
                            const std::vector<std::int32_t>& sells) {
    const std::size_t n = std::min({dates.size(), opens.size(), highs.size(), lows.size(), closes.size(),
                                    volumes.size(), buys.size(), sells.size()});
    std::unordered_map<std::int32_t, std::size_t> rowOf;
    rowOf.reserve(n);
    for (std::size_t i = 0; i < n; ++i) rowOf.emplace(dates[i], i);  // the first row of a date

    PriceSeries out;
    out.rows.reserve(calendar.size());
    std::int32_t carriedSell = 0;
    std::int32_t carriedBuy = 0;
    bool started = false;
    for (const std::int32_t day : calendar) {
        const auto it = rowOf.find(day);
        if (it == rowOf.end()) {
            if (started) {
                PriceRecord filler;
                filler.date = day;
                filler.open = filler.high = filler.low = filler.close = filler.volume = 0;
                filler.marginBuy = carriedBuy;
                filler.marginSell = carriedSell;
                out.append(filler);
            }
            continue;
        }
        started = true;
        const std::size_t i = it->second;
        PriceRecord r{dates[i], opens[i], highs[i], lows[i], closes[i], volumes[i], buys[i], sells[i]};
        if (r.marginSell == 0)
            r.marginSell = carriedSell;
        else
            carriedSell = r.marginSell;
        if (r.marginBuy == 0)
            r.marginBuy = carriedBuy;
        else
            carriedBuy = r.marginBuy;
        out.append(r);
    }
    return out;
}

InitDataJob::InitDataJob(Application& app, HtmlValueFormat& reader, const WebEnvironment& environment,
                         Endpoints endpoints)
    // Transfer and delete have always visited one code past 9999 as well.
    : app_(app),
      reader_(reader),
      clock_(*environment.clock),
      walk_(app, 10000),
      sources_(app, reader, std::move(endpoints), environment) {}

InitDataJob::~InitDataJob() = default;

void InitDataJob::abort() { sources_.abort(); }

std::vector<int> InitDataJob::startYears() const {
    std::vector<int> years;
    for (int y = 1990; y <= clock_.now().year; ++y) years.push_back(y);
    return years;
}

JobOutcome InitDataJob::open() {
    settings = Settings{};
    setSettingsTaken(false);
    mode_ = Mode::None;
    createCode_ = 1000;
    resumeCode_ = 1000;
    gathering_ = false;
    calendar_.clear();
    listed_ = false;
    codes_.clear();
    splits_ = SplitBook{};
    splitsRecorded_.clear();
    ensureFolder(layout::initFolder(app_));
    JobOutcome o;
    o.state = JobState::Idle;
    o.status = init_data_text::kInitialStatus;
    o.progress = 0;
    return o;
}

JobOutcome InitDataJob::ended(JobState state, std::string status) {
    mode_ = Mode::None;
    JobOutcome o;
    o.state = state;
    if (!status.empty()) o.status = std::move(status);
    return o;
}

bool InitDataJob::writeIndexFile(int fileCode, const Series& s, JobOutcome& failure) {
    PriceSeries rows;
    rows.rows.reserve(s.dates.size());
    for (std::size_t i = 0; i < s.dates.size(); ++i)
        rows.append(PriceRecord{s.dates[i], s.opens[i], s.highs[i], s.lows[i], s.closes[i], 0, 0, 0});
    const auto path = layout::initFile(app_, fileCode);
    std::string error;
    if (ensureFolder(layout::initFolder(app_), &error) && writePriceFile(path, rows, &error)) return true;
    failure = ended(JobState::Stopped, init_data_text::kErrorStatus);
    failure.stopReason = JobOutcome::StopReason::Failed;
    failure.message = withCause(init_data_text::kFileFailed + path.string(), error);
    return false;
}

JobOutcome InitDataJob::stoppedBySource(const SourceResult& answer, std::string status, const char* connection,
                                        std::string unrecognised, const char* noData) {
    // A source with words of its own (J-Quants) says why; for the pages the
    // job says it in its own words.
    JobOutcome o = stoppedBy(answer);
    mode_ = Mode::None;
    if (!answer.reason.empty()) {
        o.status = init_data_text::kErrorStatus;
        return o;
    }
    if (!status.empty()) o.status = std::move(status);
    switch (answer.answer) {
    case Answer::NoData:
        // No history for an index is a failure, not a code to pass over.
        o.stopReason = JobOutcome::StopReason::Failed;
        o.message = noData;
        break;
    case Answer::Unrecognised: o.message = std::move(unrecognised); break;
    default: o.message = connection; break;
    }
    return o;
}

JobOutcome InitDataJob::startCreate() {
    // A source that gathers the whole market first (J-Quants' bulk files, or
    // its whole-market days) is asked that way, never code by code.
    source_ = &sources_.forHistory(settings.source);
    sources_.setOnWait([this](const std::string& line) { if (onWait) onWait(line); });
    source_->restart();
    if (const SourceResult refused = source_->connect(); !refused.answered()) {
        mode_ = Mode::None;
        return stoppedBy(refused);
    }
    from_ = settings.startYear * 10000 + 101;
    to_ = clock_.japanNow().yyyymmdd();
    IndexBars* indices = source_->indexBars();
    BusinessDays* days = source_->businessDays();
    if (!indices || !days || !source_->codeBars()) return stoppedBy(SourceResult::of(Answer::OutsidePlan));

    // The Nikkei average first: the pages read its table once for the
    // calendar as well; a source without it says so in its notes.
    Series nikkei;
    if (settings.nikkei) {
        if (const SourceResult r = indices->indexBars(101, from_, to_, nikkei); r.answer != Answer::Data)
            return stoppedBySource(r, {}, init_data_text::kCommError, init_data_text::kNikkeiFormat,
                                   init_data_text::kNikkeiNoData);
    }
    // A source with a listed-issue master walks today's listed codes; the
    // pages walk every code from 1000.
    listed_ = source_->listedCodes() != nullptr;
    codes_.clear();
    if (listed_)
        if (const SourceResult r = source_->listedCodes()->listedCodes(codes_); !r.answered())
            return stoppedBySource(r, {}, init_data_text::kCommError, {}, init_data_text::kNikkeiNoData);
    if (const SourceResult r = days->businessDays(from_, to_, calendar_); r.answer != Answer::Data)
        return stoppedBySource(r, {}, init_data_text::kCommError, init_data_text::kNikkeiFormat,
                               init_data_text::kNikkeiNoData);
    // A day after today is not a day to fill.
    std::erase_if(calendar_, [today = to_](std::int32_t d) { return d > today; });
    if (!nikkei.dates.empty())
        if (JobOutcome failure; !writeIndexFile(101, nikkei, failure)) return failure;
    if (JQuantsHistory* history = source_->history()) {
        HistoryCost cost;
        if (const SourceResult r = history->plan(from_, to_, settings.margin, settings.topix, cost); !r.answered())
            return stoppedBySource(r, {}, init_data_text::kCommError, {}, init_data_text::kNikkeiNoData);
        JobOutcome o;
        o.status = costText(cost);
        if (settings.dryRun) {
            o.state = JobState::Finished;
            mode_ = Mode::None;
            return o;
        }
        gathering_ = true;
        mode_ = Mode::Create;
        o.state = JobState::Running;
        o.progress = 0;
        return o;
    }
    if (settings.dryRun) {
        JobOutcome o = ended(JobState::Finished, {});
        o.message = init_data_text::kNoEstimate;
        return o;
    }
    return beginCodes(days->businessDaysStatus());
}

namespace {
std::string aboutBytes(std::uint64_t bytes) {
    char text[32];
    if (bytes >= (1ull << 30)) std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / double(1ull << 30));
    else std::snprintf(text, sizeof text, "%llu MB", static_cast<unsigned long long>((bytes + (1u << 20) - 1) >> 20));
    return text;
}
std::string aboutTime(std::chrono::seconds time) {
    const long long minutes = (time.count() + 59) / 60;
    if (minutes < 1) return "1分未満";
    if (minutes < 60) return "約" + std::to_string(minutes) + "分";
    return "約" + std::to_string(minutes / 60) + "時間" + (minutes % 60 ? std::to_string(minutes % 60) + "分" : "");
}
}  // namespace

std::string costText(const HistoryCost& cost) {
    const std::string pace = cost.requestsPerMinute > 0 ? "毎分" + std::to_string(cost.requestsPerMinute) + "件"
                                                        : std::string("間隔を空けずに");
    if (!cost.bulk) return fillIn(init_data_text::kCostDays, {grouped(cost.requests), aboutTime(cost.time), pace});
    return fillIn(init_data_text::kCostFiles,
                  {grouped(cost.files), aboutBytes(cost.bytes), grouped(cost.requests), aboutTime(cost.time), pace});
}

SourceResult gatherUnit(JQuantsHistory& history, JobOutcome& progress) {
    std::string unit;
    const SourceResult r = history.gatherNext(unit);
    progress.state = JobState::Running;
    progress.status = fillIn(init_data_text::kGathering, {std::to_string(history.gatheredCount()),
                                                          std::to_string(history.totalCount()), unit});
    progress.progress =
        history.totalCount() ? static_cast<int>(history.gatheredCount() * 100 / history.totalCount()) : 100;
    return r;
}

JobOutcome InitDataJob::gatherStep() {
    JobOutcome o;
    const SourceResult r = gatherUnit(*source_->history(), o);
    if (r.answer == Answer::NoData) {
        gathering_ = false;
        return beginCodes(init_data_text::kGathered);
    }
    if (!r.answered()) return stoppedBySource(r, {}, init_data_text::kCommError, {}, init_data_text::kNikkeiNoData);
    return o;
}

JobOutcome InitDataJob::beginCodes(std::string status) {
    IndexBars* indices = source_->indexBars();
    JobOutcome progress;
    progress.status = std::move(status);
    if (settings.topix) {
        Series topix;
        if (const SourceResult r = indices->indexBars(102, from_, to_, topix); r.answer != Answer::Data) {
            JobOutcome o = stoppedBySource(r, progress.status.value_or(std::string{}), init_data_text::kCommError,
                                           init_data_text::kTopixFormat, init_data_text::kTopixNoData);
            if (r.answer == Answer::OutsidePlan && !r.windowFrom) o.message = jquants_text::kTopixPlan;
            return o;
        }
        if (JobOutcome failure; !writeIndexFile(102, topix, failure)) return failure;
    }
    if (listed_) {
        nextCode_ = static_cast<std::size_t>(std::lower_bound(codes_.begin(), codes_.end(), resumeCode_) - codes_.begin());
        if (nextCode_ == codes_.size()) {
            JobOutcome o = ended(JobState::Finished, init_data_text::kCreateFinished);
            if (std::string notes = source_->notes(); !notes.empty()) o.message = notes;
            recordSplits(o);
            return o;
        }
        createCode_ = codes_[nextCode_];
    } else {
        createCode_ = resumeCode_;
    }
    mode_ = Mode::Create;
    progress.state = JobState::Running;
    return progress;
}

JobOutcome InitDataJob::start() {
    setSettingsTaken(true);
    switch (action) {
    case Mode::Transfer: return startTransfer();
    case Mode::Delete: return startDelete();
    default: return startCreate();
    }
}

JobOutcome InitDataJob::startTransfer() {
    walk_.restart();
    mode_ = Mode::Transfer;
    ensureFolder(layout::dataFolder(app_));
    JobOutcome o;
    o.state = JobState::Running;
    return o;
}

JobOutcome InitDataJob::startDelete() {
    walk_.restart();
    mode_ = Mode::Delete;
    JobOutcome o;
    o.state = JobState::Running;
    return o;
}

JobOutcome InitDataJob::stop() {
    JobOutcome o = ended(JobState::Stopped, formatInt(init_data_text::kStopped, createCode_));
    flushFiles(o);
    recordSplits(o);
    return o;
}

bool InitDataJob::flushFiles(JobOutcome& o) {
    if (filesQueued_ == 0) return true;
    const int first = firstQueued_;
    const std::size_t failedBefore = files_.failures().size();
    filesQueued_ = 0;
    if (files_.flush()) return true;
    // The files since `first` are not published: the next start makes them again.
    resumeCode_ = first;
    mode_ = Mode::None;
    o.state = JobState::Stopped;
    o.status = init_data_text::kErrorStatus;
    o.stopReason = JobOutcome::StopReason::Failed;
    std::string text = init_data_text::kFileFailed;
    for (std::size_t i = failedBefore; i < files_.failures().size(); ++i) text += "\n" + files_.failures()[i];
    o.message = text;
    return false;
}

JobOutcome InitDataJob::tick() {
    switch (mode_) {
    case Mode::Create: return createTick();
    case Mode::Transfer: return fileTick(true);
    case Mode::Delete: return fileTick(false);
    default: return ended(JobState::Finished, {});
    }
}

JobOutcome InitDataJob::createTick() {
    if (gathering_) {
        JobOutcome o = gatherStep();
        if (o.state != JobState::Running) recordSplits(o);
        return o;
    }
    JobOutcome o = createStep();
    // Every code written: the gathered history has served its purpose.
    JQuantsHistory* history = source_->history();
    if (o.state == JobState::Finished && history) history->discard();
    // From gathered history the files are flushed once, after it is removed:
    // a flush while its rows are there would write them all to disk for
    // nothing. A run cut short before makes the files again from the rows;
    // a failed last flush, from the service again.
    if (o.state != JobState::Running || (filesQueued_ >= kFilesPerFlush && !history)) flushFiles(o);
    if (o.state != JobState::Running) recordSplits(o);
    return o;
}

void InitDataJob::recordSplits(JobOutcome& o) {
    std::vector<CodeSplit> written;
    std::string error;
    if (!splits_.commit(app_, &written, &error)) {
        if (o.state == JobState::Finished) {
            o.state = JobState::Stopped;
            o.status = init_data_text::kErrorStatus;
        }
        if (o.stopReason == JobOutcome::StopReason::None) o.stopReason = JobOutcome::StopReason::Failed;
        addLine(o.message, init_data_text::kSplitsFailed + error);
        return;
    }
    splitsRecorded_.insert(splitsRecorded_.end(), written.begin(), written.end());
    // The end of the run names all it recorded; a stop what it wrote now.
    const std::vector<CodeSplit>& named = o.state == JobState::Finished ? splitsRecorded_ : written;
    if (!named.empty()) addLine(o.message, init_data_text::kSplitsRecorded + splitsText(named));
}

JobOutcome InitDataJob::createStep() {
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = (createCode_ - 1000) / 9 / 10;
    resumeCode_ = createCode_;
    Series s;
    const SourceResult answer = source_->codeBars()->codeBars(createCode_, from_, to_, settings.margin, s);
    if (answer.answer == Answer::NoData) {
        // Nothing for this code: no file, as the price tables leave it out.
        if (listed_) return advance(o);
        ++createCode_;
        if (createCode_ >= 10000) {
            JobOutcome e = ended(JobState::Finished, init_data_text::kCreateFinished);
            e.progress = o.progress;
            return e;
        }
        return o;
    }
    if (!answer.answered()) {
        const bool connection = stopReasonFor(answer.answer) == JobOutcome::StopReason::Connection;
        JobOutcome e = stoppedBySource(answer, connection ? init_data_text::kErrorStatus : init_data_text::kFormatStatus,
                                       init_data_text::kDisconnected, answer.detail, init_data_text::kDisconnected);
        e.progress = o.progress;
        return e;
    }
    // A table without a row is no history: no file, which the transfer would
    // put over the chart's own.
    if (s.dates.empty()) {
        o.status = formatInt(init_data_text::kCreating, createCode_);
        if (!listed_) {
            ++createCode_;
            return o;
        }
        return advance(o);
    }
    // Days after the newest one served are not published yet: no fillers there.
    std::vector<std::int32_t> published = calendar_;
    if (s.lastServed)
        published.erase(std::upper_bound(published.begin(), published.end(), s.lastServed), published.end());
    const PriceSeries rows =
        alignToCalendar(published, s.dates, s.opens, s.highs, s.lows, s.closes, s.volumes, s.buys, s.sells);
    const auto path = layout::initFile(app_, createCode_);
    std::string error;
    if (!ensureFolder(layout::initFolder(app_), &error) || !files_.replace(path, serializePriceSeries(rows), &error)) {
        // The resume code stays at this code, so the next start writes it again.
        JobOutcome e = ended(JobState::Stopped, init_data_text::kErrorStatus);
        e.progress = o.progress;
        e.stopReason = JobOutcome::StopReason::Failed;
        e.message = withCause(init_data_text::kFileFailed + path.string(), error);
        return e;
    }
    if (filesQueued_++ == 0) firstQueued_ = createCode_;
    for (const Split& split : s.splits) splits_.add(createCode_, split);
    o.status = formatInt(init_data_text::kCreating, createCode_);
    if (!listed_) {
        ++createCode_;
        return o;
    }
    return advance(o);
}

JobOutcome InitDataJob::advance(JobOutcome o) {
    if (++nextCode_ < codes_.size()) {
        createCode_ = codes_[nextCode_];
        return o;
    }
    createCode_ = codes_.back() + 1;
    JobOutcome e = ended(JobState::Finished, init_data_text::kCreateFinished);
    e.progress = o.progress;
    if (std::string notes = source_->notes(); !notes.empty()) e.message = notes;
    return e;
}

JobOutcome InitDataJob::fileTick(bool transfer) {
    JobOutcome o;
    o.state = JobState::Running;
    const int code = walk_.code();
    const auto source = layout::initFile(app_, code);
    std::error_code ec;
    std::string why;
    long long size = 0;
    PriceFileKind kind = examinePriceFile(source, &why, &size);
    if (kind == PriceFileKind::Odd) skipped_.add(source, why);
    // An empty init file (a code the source had nothing for) would wipe the
    // chart's whole history of that code: it stays in init/ and is named.
    if (transfer && kind == PriceFileKind::Regular && size < static_cast<long long>(kRecordSize)) {
        tooShort_.add(source, std::to_string(size) + "バイト");
        kind = PriceFileKind::Missing;
    }
    if (kind == PriceFileKind::Regular) {
        o.status = formatInt(transfer ? init_data_text::kTransferring : init_data_text::kDeleting, code);
        if (transfer) {
            const auto target = layout::dataFile(app_, code);
            std::string error;
            if (!copyFileAtomically(source, target, &error)) {
                JobOutcome e = ended(JobState::Stopped, *o.status);
                e.stopReason = JobOutcome::StopReason::Failed;
                e.message = withCause(init_data_text::kCopyFailed + target.string(), error);
                return e;
            }
        } else {
            std::filesystem::remove(source, ec);
        }
    }
    o.progress = walk_.progress();
    if (walk_.advance()) {
        JobOutcome e = ended(JobState::Finished,
                             transfer ? init_data_text::kTransferFinished : init_data_text::kDeleteFinished);
        e.progress = o.progress;
        std::string report;
        for (SkippedFiles* list : {&skipped_, &tooShort_}) {
            if (list->count() > 0) report += (report.empty() ? "" : "\n") + list->report();
            list->clear();
        }
        if (!report.empty()) e.message = report;
        return e;
    }
    return o;
}

}  // namespace quarlink
