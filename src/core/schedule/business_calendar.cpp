#include "core/schedule/business_calendar.h"

#include <algorithm>

#include "core/web/jquants/jquants_plan.h"
#include "core/store/number_text.h"
#include "core/web/jquants/jquants_json.h"
#include "core/web/jquants/jquants_text.h"

#include "core/store/folder_layout.h"
#include "core/web/endpoints.h"
#include "core/web/jquants/jquants_client.h"
#include "core/web/jquants/jquants_key.h"

namespace quarlink {

void BusinessCalendar::set(std::int32_t from, std::int32_t to, std::set<std::int32_t> businessDays) {
    from_ = from;
    to_ = to;
    days_ = std::move(businessDays);
}

std::optional<bool> BusinessCalendar::isBusinessDay(std::int32_t date) const {
    if (!covers(date)) return std::nullopt;
    return days_.count(date) > 0;
}

BusinessDayLookup BusinessCalendar::lookup() const {
    return [this](std::int32_t date) { return isBusinessDay(date); };
}

bool fetchJQuantsCalendar(const std::filesystem::path& workDir, std::int32_t today, std::int32_t from, std::int32_t to,
                          const WebEnvironment& environment, BusinessCalendar& calendar, std::string& error) {
    const jquants::ApiKey key = jquants::loadApiKey(workDir);
    if (!key.ok()) {
        error = key.error;
        return false;
    }
    Application app;
    app.workDir = workDir;
    const Endpoints endpoints = loadEndpoints(layout::endpointsFile(app));
    // Asked within the plan's window: the free plan's calendar ends weeks
    // before today, so it has none of these days and is not asked at all.
    const PlanWindow window = jquantsPlanWindow(endpoints.jquantsPlan, today);
    if (window.to < today) {
        error = fillIn(jquants_text::kPlanCovers, {jquants::isoDate(window.from), jquants::isoDate(window.to)});
        return false;
    }
    from = std::max(from, window.from);
    jquants::Client client(endpoints, key.key, environment);
    jquants::Calendar rows;
    if (const jquants::Status s = client.calendar(from, to, rows); !s.ok()) {
        error = s.message;
        return false;
    }
    std::set<std::int32_t> days;
    for (const jquants::CalendarDay& d : rows.rows)
        if (d.businessDay()) days.insert(d.date);
    calendar.set(from, to, std::move(days));
    return true;
}

}  // namespace quarlink
