#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "core/jobs/job.h"
#include "core/jobs/web_session.h"
#include "core/sources/source_kind.h"
#include "core/store/application.h"

namespace quarlink {

// The daily update's settings, whatever its source: the dialog's controls,
// the CLI's options and the schedule all come down to these.
struct DailyUpdateSettings {
    SourceKind source = SourceKind::InfoSeek;
    bool margin = true;
    bool indexOnly = true;
    bool nikkei = false;
    bool topix = false;           // a source with whole-market days only (J-Quants)
    std::int32_t from = 0;        // the same: 0 from the newest day in the data
    std::int32_t through = 0;     // the same: 0 today
    std::optional<int> resumeFrom;  // a source read code by code: where a stopped run goes on
};

// The one place the daily update's source decides its job: a source with a
// day's quote page gets the page update (one code a tick, resumable at a
// code), J-Quants the catch-up (one business day of the whole market a
// tick). The job is opened and its settings taken from `settings`; the
// driver calls start(). `web` must outlive the job.
// `opened`, when given, receives the outcome of the job's open().
std::unique_ptr<Job> makeDailyUpdate(Application& app, WebSession& web, const DailyUpdateSettings& settings,
                                     JobOutcome* opened = nullptr);

// Where a page update that stopped goes on (its current code); nullopt for a
// job that resumes from the data itself.
std::optional<int> dailyUpdateResumeCode(const Job& job);

}  // namespace quarlink
