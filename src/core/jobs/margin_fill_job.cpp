#include "core/jobs/margin_fill_job.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "core/jobs/init_data_job.h"
#include "core/jobs/update_job.h"
#include "core/store/folder_layout.h"
#include "core/store/margin_placement.h"
#include "core/store/atomic_file.h"
#include "core/store/number_text.h"

namespace quarlink {

void fillMarginBalances(PriceSeries& records, const std::vector<std::int32_t>& dates,
                        const std::vector<std::int32_t>& buys, const std::vector<std::int32_t>& sells) {
    std::vector<std::int32_t> recordDates, recordBuys, recordSells;
    for (const PriceRecord& r : records.rows) {
        recordDates.push_back(r.date);
        recordBuys.push_back(r.marginBuy);
        recordSells.push_back(r.marginSell);
    }
    placeMarginBalances(recordDates, recordBuys, recordSells, dates, buys, sells);
    carryMarginBalances(recordBuys, recordSells);
    for (std::size_t i = 0; i < records.rows.size(); ++i) {
        records.rows[i].marginBuy = recordBuys[i];
        records.rows[i].marginSell = recordSells[i];
    }
}

MarginFillJob::MarginFillJob(Application& app, HtmlValueFormat& reader, const WebEnvironment& environment,
                             Endpoints endpoints)
    : app_(app), clock_(*environment.clock), sources_(app, reader, std::move(endpoints), environment) {}

MarginFillJob::~MarginFillJob() = default;

void MarginFillJob::abort() { sources_.abort(); }

JobOutcome MarginFillJob::open() {
    settings = Settings{};
    setSettingsTaken(false);
    app_.currentCode = CodeCursor::kNikkeiCode;
    cursor_ = CodeCursor{};
    skipped_.clear();
    gathering_ = false;
    JobOutcome o;
    o.state = JobState::Idle;
    o.progress = 0;
    return o;
}

std::int32_t MarginFillJob::spanStart() const {
    const LocalDateTime now = clock_.now();
    int year = now.year, month = now.month - kMonths;
    for (; month <= 0; month += 12) --year;
    return year * 10000 + month * 100 + 1;
}

JobOutcome MarginFillJob::start() {
    setSettingsTaken(true);
    // A source whose history comes whole (J-Quants: its margin files, or its
    // whole-market days) gathers the span's balances first, never code by code.
    source_ = &sources_.forHistory(settings.source);
    sources_.setOnWait([this](const std::string& line) { if (onWait) onWait(line); });
    source_->restart();
    if (const SourceResult refused = source_->connect(); !refused.answered()) return stoppedBy(refused);
    cursor_.begin(settings.indexOnly, layout::indexFile(app_));
    JobOutcome o;
    o.state = JobState::Running;
    if (!cursor_.seekOnce(resumeFrom, app_.currentCode)) return finished(o, margin_fill_text::kFinishedSkip);
    if (JQuantsHistory* history = source_->history()) {
        HistoryCost cost;
        if (const SourceResult r = history->plan(spanStart(), clock_.now().yyyymmdd(), true, false, cost, false);
            !r.answered())
            return stoppedBy(r);
        gathering_ = true;
        o.status = costText(cost);
    }
    return o;
}

JobOutcome MarginFillJob::gatherStep() {
    JobOutcome o;
    const SourceResult r = gatherUnit(*source_->history(), o);
    if (r.answer == Answer::NoData) {
        // The codes come next, from the first tick after this one.
        gathering_ = false;
        JobOutcome next;
        next.state = JobState::Running;
        return next;
    }
    if (!r.answered()) return stoppedBy(r);
    return o;
}

JobOutcome MarginFillJob::finished(JobOutcome o, const char* status) {
    o.state = JobState::Finished;
    if (JQuantsHistory* history = source_ ? source_->history() : nullptr) history->discard();
    o.status = status;
    if (skipped_.count() > 0) o.message = skipped_.report();
    return o;
}

JobOutcome MarginFillJob::advanceQuietly(JobOutcome o) {
    if (!cursor_.advance(app_.currentCode)) return finished(o, margin_fill_text::kFinishedSkip);
    return o;
}

JobOutcome MarginFillJob::writeFailure(JobOutcome o, const std::filesystem::path& path, const std::string& cause) {
    o.state = JobState::Stopped;
    o.stopReason = JobOutcome::StopReason::Failed;
    o.message = std::string(update_text::kWriteFailed) + path.string();
    if (!cause.empty()) o.message = *o.message + "\n" + cause;
    return o;
}

JobOutcome MarginFillJob::tick() {
    if (gathering_) return gatherStep();
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = app_.currentCode / 100;
    const int code = app_.currentCode;
    const auto path = layout::dataFile(app_, code);

    // An odd file at the code's name is named at the end and never read;
    // the other codes go on.
    if (std::string why; examinePriceFile(path, &why) == PriceFileKind::Odd) {
        skipped_.add(path, why);
        return advanceQuietly(o);
    }
    // A rationed source is not asked for what could not be stored: the
    // indices have no balances there, a code without a file takes none.
    std::error_code ec;
    if (source_->rationed() && (code < CodeCursor::kFirstStockCode || !std::filesystem::exists(path, ec)))
        return advanceQuietly(o);
    MarginHistory* history = source_->marginHistory();
    if (!history) return stoppedBy(SourceResult::of(Answer::OutsidePlan, jquants_text::kMarginFillPlan));
    MarginRows table;
    const SourceResult answer = history->marginHistory(code, spanStart(), clock_.now().yyyymmdd(), table);
    if (answer.answer == Answer::NoData) return advanceQuietly(o);
    if (!answer.answered()) {
        o.state = JobState::Stopped;
        o.stopReason = stopReasonFor(answer.answer);
        if (answer.answer == Answer::OutsidePlan && !answer.windowFrom)
            o.message = jquants_text::kMarginFillPlan;
        else if (!answer.reason.empty())
            o.message = answer.reason;
        else
            o.message = o.stopReason == JobOutcome::StopReason::Connection ? margin_fill_text::kDisconnected
                                                                            : margin_fill_text::kFormatChanged;
        return o;
    }

    std::string before, error;
    if (!readWholeFile(path, before, &error)) {
        if (!std::filesystem::exists(path, ec) && !ec) return advanceQuietly(o);  // no price file for this code
        // A file that is there but cannot be read is named, as the daily update does.
        return writeFailure(o, path, error);
    }
    PriceSeries records = parsePriceSeries(before);
    fillMarginBalances(records, table.dates, table.buys, table.sells);
    const std::string after = rewrittenImage(records, before);
    // A file that cannot be rewritten (full disk, read-only folder) stops the
    // job at this code instead of being passed over as if it were filled.
    if (after != before && !replaceFileAtomically(path, after, &error)) return writeFailure(o, path, error);

    if (!cursor_.advance(app_.currentCode)) return finished(o, margin_fill_text::kFinished);
    char text[96];
    std::snprintf(text, sizeof text, margin_fill_text::kProgress, app_.currentCode);
    o.status = text;
    return o;
}

}  // namespace quarlink
