#include "core/jobs/daily_update.h"

#include "core/jobs/catch_up_job.h"
#include "core/jobs/update_job.h"

namespace quarlink {

std::unique_ptr<Job> makeDailyUpdate(Application& app, WebSession& web, const DailyUpdateSettings& settings,
                                     JobOutcome* opened) {
    if (kindFacts(settings.source).wholeMarket) {
        auto job = std::make_unique<CatchUpJob>(app, web.endpoints(), web.environment());
        const JobOutcome o = job->open();
        if (opened) *opened = o;
        job->settings = {settings.margin, settings.indexOnly, settings.topix, settings.nikkei, settings.from,
                         settings.through};
        return job;
    }
    auto job = std::make_unique<UpdateJob>(app, web.reader(), web.environment());
    const JobOutcome o = job->open();
    if (opened) *opened = o;
    job->settings = {settings.margin, settings.indexOnly, settings.nikkei, settings.source};
    job->resumeFrom = settings.resumeFrom;
    return job;
}

std::optional<int> dailyUpdateResumeCode(const Job& job) {
    if (const auto* pages = dynamic_cast<const UpdateJob*>(&job)) return pages->currentCode();
    return std::nullopt;
}

}  // namespace quarlink
