#include "core/web/jquants/jquants_plan.h"

#include "core/env/clock.h"

namespace quarlink {

static_assert([] {
    for (int i = 0; i < 4; ++i)
        if (static_cast<int>(kJQuantsPlans[i].plan) != i) return false;
    return true;
}(), "planFacts() indexes the table by the plan");

std::optional<JQuantsPlan> jquantsPlanFromName(std::string_view name) {
    for (const JQuantsPlanFacts& f : kJQuantsPlans)
        if (name == f.name) return f.plan;
    return std::nullopt;
}

JQuantsPlan parseJQuantsPlan(std::string_view name) { return jquantsPlanFromName(name).value_or(JQuantsPlan::Free); }

PlanWindow jquantsPlanWindow(JQuantsPlan plan, std::int32_t today) {
    const JQuantsPlanFacts& f = planFacts(plan);
    // Years back by the calendar (a 29 February steps back to the 28th).
    std::int32_t from = today - f.years * 10000;
    if (from % 10000 == 229) from -= 1;
    return {addDays(from, -f.delayDays), addDays(today, -f.delayDays)};
}

std::int32_t jquantsFilesFrom(JQuantsPlan plan, std::int32_t today) {
    return jquantsPlanWindow(planFacts(plan).hasBulk ? plan : JQuantsPlan::Premium, today).from;
}

}  // namespace quarlink
