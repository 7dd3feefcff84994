#include "jobs/update_job.h"

#include <cstdio>

#include "store/atomic_file.h"
#include "store/folder_layout.h"
#include "store/number_text.h"
#include "store/index_table.h"
#include "store/price_file.h"

namespace quarlink {

UpdateJob::UpdateJob(Application& app, HtmlValueFormat& reader, const Clock& clock)
    : app_(app), reader_(reader), clock_(clock) {}

JobOutcome UpdateJob::open() {
    settings = UpdateSettings{};
    app_.currentCode = CodeCursor::kNikkeiCode;
    cursor_ = CodeCursor{};
    skipped_.clear();
    updateDate_ = clock_.now().yyyymmdd();
    JobOutcome o;
    o.state = JobState::Idle;
    o.progress = 0;
    return o;
}

JobOutcome UpdateJob::start() {
    cursor_.indexOnly = settings.indexOnly;
    if (settings.indexOnly) {
        // An unreadable or rejected index.txt leaves the list empty.
        std::vector<int> codes;
        loadCodeList(layout::indexFile(app_), codes);
        cursor_.codes = std::move(codes);
    }
    JobOutcome o;
    o.state = JobState::Running;
    if (!cursor_.seekOnce(resumeFrom, app_.currentCode)) {
        o.state = JobState::Finished;
        o.status = update_text::kFinishedSkip;
    }
    return o;
}

JobOutcome UpdateJob::stopped(JobOutcome::StopReason reason, std::string message) {
    JobOutcome o;
    o.state = JobState::Stopped;
    o.stopReason = reason;
    o.message = std::move(message);
    return o;
}

// The record goes under the page's own date: it replaces the last record of
// the same date, follows a later one, and is dropped when the file already
// holds a later day, so the file stays in ascending date order and no earlier
// day is lost.
bool UpdateJob::storeRecord(const PriceRecord& record) {
    // Something other than a price file at the name is left alone and named
    // at the end; the other codes go on.
    const auto path = layout::dataFile(app_, app_.currentCode);
    if (std::string why; examinePriceFile(path, &why) == PriceFileKind::Odd) {
        skipped_.add(path, why);
        return true;
    }
    return appendOrOverwrite(layout::dataFile(app_, app_.currentCode), record.date, record, nullptr, true) !=
           StoreResult::Failed;
}

JobOutcome UpdateJob::tick() {
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = app_.currentCode / 100;

    PriceRecord page;
    int result;
    if (app_.currentCode == CodeCursor::kNikkeiCode) {
        result = reader_.ReadInfoSeekQuote(kInfoSeekNikkei, 2, page.date, page.open, page.high, page.low,
                                           page.close, page.volume, page.marginBuy, page.marginSell);
        if (result == 1) {
            updateDate_ = page.date;
            if (!settings.nikkei) result = -1;  // read only for the market date
        }
    } else {
        const int mode = settings.margin ? 1 : 0;
        if (settings.source == 0)
            result = reader_.ReadInfoSeekQuote(app_.currentCode, mode, page.date, page.open, page.high, page.low,
                                               page.close, page.volume, page.marginBuy, page.marginSell);
        else if (settings.source == 1)
            result = reader_.ReadYahooQuote(app_.currentCode, mode, page.date, page.open, page.high, page.low,
                                            page.close, page.volume, page.marginBuy, page.marginSell);
        else
            result = -3;
    }

    if (result == -1) {
        if (!cursor_.advance(app_.currentCode)) {
            o.state = JobState::Finished;
            o.status = update_text::kFinishedSkip;
        }
        return o;
    }
    if (result == -2) {
        JobOutcome s = stopped(JobOutcome::StopReason::Connection, update_text::kDisconnected);
        s.progress = o.progress;
        return s;
    }
    if (result == -3) {
        JobOutcome s = stopped(JobOutcome::StopReason::UnrecognisedPage, update_text::kFormatChanged);
        s.progress = o.progress;
        return s;
    }

    if (!storeRecord(page)) {
        JobOutcome s = stopped(JobOutcome::StopReason::Failed,
                               update_text::kWriteFailed + layout::dataFile(app_, app_.currentCode).string());
        s.progress = o.progress;
        return s;
    }
    if (!cursor_.advance(app_.currentCode)) {
        o.state = JobState::Finished;
        o.status = update_text::kFinished;
        if (skipped_.count() > 0) o.message = skipped_.report();
        return o;
    }
    o.status = formatInt(update_text::kProgress, app_.currentCode);
    return o;
}

}  // namespace quarlink
