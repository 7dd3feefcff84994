#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace quarlink {

// The J-Quants plans, cheapest first: each has everything the one before has.
enum class JQuantsPlan { Free, Light, Standard, Premium };

// What the service states of each plan. Nothing else in the program names a
// plan or decides by one: it asks its row.
struct JQuantsPlanFacts {
    JQuantsPlan plan;
    const char* name;         // the word in jquants.conf, endpoints.conf and the CLI
    const char* label;        // what the user reads
    int years;                // history reaches this many years back
    int delayDays;            // the newest data are this old (Free: 12 weeks)
    int requestsPerMinute;    // the service's limit, the pace every job keeps
    bool hasTopix;
    bool hasMargin;           // the margin balances
    bool hasBulk;             // the monthly bulk files (the calendar's are everyone's)
};

inline constexpr JQuantsPlanFacts kJQuantsPlans[] = {
    {JQuantsPlan::Free, "free", "Free", 2, 84, 5, false, false, false},
    {JQuantsPlan::Light, "light", "Light", 5, 0, 60, true, false, true},
    {JQuantsPlan::Standard, "standard", "Standard", 10, 0, 120, true, true, true},
    {JQuantsPlan::Premium, "premium", "Premium", 20, 0, 500, true, true, true},
};

constexpr const JQuantsPlanFacts& planFacts(JQuantsPlan plan) { return kJQuantsPlans[static_cast<int>(plan)]; }
// The word of a file or an option; nullopt for one this version does not know.
std::optional<JQuantsPlan> jquantsPlanFromName(std::string_view name);
// As the client paces it: a word it does not know is Free.
JQuantsPlan parseJQuantsPlan(std::string_view name);
// The cheapest plan with data the predicate asks for, to say which plan to take.
template <typename Has>
constexpr const JQuantsPlanFacts& cheapestPlanWith(Has has) {
    for (const JQuantsPlanFacts& f : kJQuantsPlans)
        if (has(f)) return f;
    return kJQuantsPlans[3];
}

// The days a plan's history reaches on `today` (Japan): its years back by
// the calendar, up to today less its delay (Free: from about two years and
// twelve weeks back to twelve weeks back).
struct PlanWindow {
    std::int32_t from = 0;
    std::int32_t to = 0;
};
PlanWindow jquantsPlanWindow(JQuantsPlan plan, std::int32_t today);
// The first day a bulk list is asked from: the plan's window, or the widest
// any plan has where the plan has no files (a key whose plan is not known yet
// may still have them).
std::int32_t jquantsFilesFrom(JQuantsPlan plan, std::int32_t today);

}  // namespace quarlink
