#include "core/jobs/update_job.h"

#include <cerrno>
#include <cstdio>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"
#include "core/store/price_file.h"

namespace quarlink {

UpdateJob::UpdateJob(Application& app, HtmlValueFormat& reader, const WebEnvironment& environment)
    : app_(app), clock_(*environment.clock), sources_(app, reader, Endpoints{}, environment) {}

JobOutcome UpdateJob::open() {
    settings = Settings{};
    setSettingsTaken(false);
    app_.currentCode = CodeCursor::kNikkeiCode;
    cursor_ = CodeCursor{};
    laterFiles_ = 0;
    skipped_.clear();
    updateDate_ = clock_.now().yyyymmdd();
    JobOutcome o;
    o.state = JobState::Idle;
    o.progress = 0;
    return o;
}

JobOutcome UpdateJob::start() {
    setSettingsTaken(true);
    cursor_.begin(settings.indexOnly, layout::indexFile(app_));
    JobOutcome o;
    o.state = JobState::Running;
    if (!cursor_.seekOnce(resumeFrom, app_.currentCode)) return finished(o, update_text::kFinishedSkip);
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
bool UpdateJob::storeRecord(const PriceRecord& record, std::string& cause) {
    // Something other than a price file at the name is left alone and named
    // at the end; the other codes go on.
    const auto path = layout::dataFile(app_, app_.currentCode);
    if (std::string why; examinePriceFile(path, &why) == PriceFileKind::Odd) {
        skipped_.add(path, why);
        return true;
    }
    errno = 0;
    const StoreResult result = appendOrOverwrite(path, record.date, record, nullptr, true);
    if (result == StoreResult::Older) ++laterFiles_;
    if (result != StoreResult::Failed) return true;
    cause = errno ? fileErrorText("write", path, errno) : std::string();
    return false;
}

JobOutcome UpdateJob::finished(JobOutcome o, const char* status) const {
    o.state = JobState::Finished;
    o.status = status;
    // Files dated past the page keep that day and get no record until the
    // market reaches it; the user has to hear of them.
    std::string message;
    if (laterFiles_ > 0) message = formatInt(update_text::kLaterFiles, laterFiles_);
    if (skipped_.count() > 0) message += (message.empty() ? "" : "\n") + skipped_.report();
    if (!message.empty()) o.message = message;
    return o;
}

JobOutcome UpdateJob::tick() {
    JobOutcome o;
    o.state = JobState::Running;
    o.progress = app_.currentCode / 100;

    PriceRecord page;
    DayQuote* quotes = sources_.of(settings.source).dayQuote();
    const bool nikkei = app_.currentCode == CodeCursor::kNikkeiCode;
    SourceResult answer = !quotes  ? SourceResult::of(Answer::Unrecognised)
                          : nikkei ? quotes->dayQuote(app_.currentCode, 2, page)
                                   : quotes->dayQuote(app_.currentCode, settings.margin ? 1 : 0, page);
    if (nikkei && answer.answer == Answer::Data) {
        updateDate_ = page.date;
        if (!settings.nikkei) answer.answer = Answer::NoData;  // read only for the market date
    }

    // The reader refuses such dates; a record dated after today must never
    // reach a file whatever source is in use.
    if (answer.answer == Answer::Data && page.date > clock_.now().yyyymmdd()) answer.answer = Answer::Unrecognised;
    if (answer.answer == Answer::NoData) {
        if (!cursor_.advance(app_.currentCode)) return finished(o, update_text::kFinishedSkip);
        return o;
    }
    if (answer.answer != Answer::Data) {
        const auto reason = stopReasonFor(answer.answer);
        JobOutcome s = stopped(reason, reason == JobOutcome::StopReason::Connection ? update_text::kDisconnected
                                                                                    : update_text::kFormatChanged);
        s.progress = o.progress;
        return s;
    }

    if (std::string cause; !storeRecord(page, cause)) {
        JobOutcome s = stopped(JobOutcome::StopReason::Failed,
                               update_text::kWriteFailed + layout::dataFile(app_, app_.currentCode).string() +
                                   (cause.empty() ? "" : "\n" + cause));
        s.progress = o.progress;
        return s;
    }
    if (!cursor_.advance(app_.currentCode)) return finished(o, update_text::kFinished);
    o.status = formatInt(update_text::kProgress, app_.currentCode);
    return o;
}

}  // namespace quarlink
