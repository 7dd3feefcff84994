#include "jobs/margin_fill_job.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "jobs/update_job.h"
#include "store/folder_layout.h"
#include "store/atomic_file.h"

namespace quarlink {

void fillMarginBalances(PriceSeries& records, const std::vector<std::int32_t>& dates,
                        const std::vector<std::int32_t>& buys, const std::vector<std::int32_t>& sells) {
    std::unordered_map<std::int32_t, std::size_t> byDate;
    const std::size_t n = std::min({dates.size(), buys.size(), sells.size()});
    for (std::size_t i = 0; i < n; ++i) byDate.emplace(dates[i], i);  // first entry of a date wins

    std::int32_t carriedBuy = 0;
    std::int32_t carriedSell = 0;
    for (PriceRecord& r : records.rows) {
        if (auto it = byDate.find(r.date); it != byDate.end()) {
            r.marginBuy = buys[it->second];
            r.marginSell = sells[it->second];
        }
        if (r.marginBuy != 0)
            carriedBuy = r.marginBuy;
        else
            r.marginBuy = carriedBuy;
        if (r.marginSell != 0)
            carriedSell = r.marginSell;
        else
            r.marginSell = carriedSell;
    }
}

MarginFillJob::MarginFillJob(Application& app, HtmlValueFormat& reader, Endpoints endpoints)
    : app_(app), reader_(reader), api_(std::make_unique<JQuantsSource>(app, std::move(endpoints))) {}

MarginFillJob::~MarginFillJob() = default;

void MarginFillJob::abort() { api_->abort(); }

JobOutcome MarginFillJob::open() {
    settings = Settings{};
    setSettingsTaken(false);
    app_.currentCode = CodeCursor::kNikkeiCode;
    cursor_ = CodeCursor{};
    skipped_.clear();
    JobOutcome o;
    o.state = JobState::Idle;
    o.progress = 0;
    return o;
}

JobOutcome MarginFillJob::start() {
    setSettingsTaken(true);
    connected_ = false;
    if (settings.source == kJQuants) {
        api_->onWait = [this](const std::string& line) { if (onWait) onWait(line); };
        api_->clientHooks = clientHooks;
        api_->restart();
        if (std::optional<JobOutcome> refused = api_->connect()) return *refused;
        connected_ = true;
    }
    cursor_.begin(settings.indexOnly, layout::indexFile(app_));
    JobOutcome o;
    o.state = JobState::Running;
    if (!cursor_.seekOnce(resumeFrom, app_.currentCode)) return finished(o, margin_fill_text::kFinishedSkip);
    return o;
}

JobOutcome MarginFillJob::finished(JobOutcome o, const char* status) {
    o.state = JobState::Finished;
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

int MarginFillJob::readFromApi(std::vector<std::int32_t>& dates, std::vector<std::int32_t>& buys,
                               std::vector<std::int32_t>& sells, JobOutcome& o) {
    const int code = app_.currentCode;
    std::error_code ec;
    // J-Quants has no balances for the indices; a code without a file would
    // be passed over after its request anyway.
    if (code < CodeCursor::kFirstStockCode || !std::filesystem::exists(layout::dataFile(app_, code), ec)) return -1;
    // The months the margin table is asked for: from day 1 six months back through today.
    const LocalDateTime now = reader_.clock().now();
    int year = now.year, month = now.month - kMonths;
    for (; month <= 0; month += 12) --year;
    const jquants::Status s = api_->marginHistory(code, year * 10000 + month * 100 + 1, now.yyyymmdd(), dates, buys, sells);
    if (s.ok()) return dates.empty() ? -1 : 1;
    const JobOutcome stop = api_->stopFor(s);
    o.state = JobState::Stopped;
    o.stopReason = stop.stopReason;
    o.message = s.outcome == jquants::Outcome::NotInPlan ? std::string(jquants_text::kMarginFillPlan) : *stop.message;
    return 0;
}

JobOutcome MarginFillJob::tick() {
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = app_.currentCode / 100;

    // An odd file at the code's name is named at the end and never read;
    // the other codes go on.
    if (std::string why; examinePriceFile(layout::dataFile(app_, app_.currentCode), &why) == PriceFileKind::Odd) {
        skipped_.add(layout::dataFile(app_, app_.currentCode), why);
        return advanceQuietly(o);
    }
    std::vector<std::int32_t> dates, buys, sells;
    if (connected_) {
        const int result = readFromApi(dates, buys, sells, o);
        if (result == -1) return advanceQuietly(o);
        if (result != 1) return o;
    }
    const int result = connected_           ? 1
                       : settings.source == 0 ? reader_.ReadMarginHistory(app_.currentCode, kMonths, dates, buys, sells)
                                              : -3;
    if (result == -1) return advanceQuietly(o);
    if (result != 1) {
        o.state = JobState::Stopped;
        o.stopReason = stopReasonFor(result);
        o.message = o.stopReason == JobOutcome::StopReason::Connection ? margin_fill_text::kDisconnected
                                                                        : margin_fill_text::kFormatChanged;
        return o;
    }

    const auto path = layout::dataFile(app_, app_.currentCode);
    std::string before, error;
    if (!readWholeFile(path, before, &error)) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec) && !ec) return advanceQuietly(o);  // no price file for this code
        // A file that is there but cannot be read is named, as the daily update does.
        return writeFailure(o, path, error);
    }
    PriceSeries records = parsePriceSeries(before);
    fillMarginBalances(records, dates, buys, sells);
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
