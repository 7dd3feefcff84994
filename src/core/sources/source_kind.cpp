#include "core/sources/source_kind.h"

#include "core/env/clock.h"

namespace quarlink {

namespace {
constexpr std::string_view kPlans[] = {"free", "light", "standard", "premium"};
constexpr int kPlanYears[] = {2, 5, 10, 20};
constexpr int kFreeDelayDays = 12 * 7;

int planRank(std::string_view plan) {
    for (int rank = 1; rank < 4; ++rank)
        if (plan == kPlans[rank]) return rank;
    return 0;
}
}  // namespace

const char* sourceKindName(SourceKind kind) {
    switch (kind) {
    case SourceKind::Yahoo: return "yahoo";
    case SourceKind::JQuants: return "jquants";
    default: return "infoseek";
    }
}

std::optional<SourceKind> sourceKindFromName(std::string_view name) {
    for (const SourceKind kind : {SourceKind::InfoSeek, SourceKind::Yahoo, SourceKind::JQuants})
        if (name == sourceKindName(kind)) return kind;
    return std::nullopt;
}

bool hasNikkeiAverage(SourceKind kind) { return kind != SourceKind::JQuants; }

PlanWindow jquantsPlanWindow(std::string_view plan, std::int32_t today) {
    const int rank = planRank(plan);
    const std::int32_t to = rank == 0 ? addDays(today, -kFreeDelayDays) : today;
    // Years back by the calendar (a 29 February steps back to the 28th).
    std::int32_t from = today - kPlanYears[rank] * 10000;
    if (from % 10000 == 229) from -= 1;
    return {rank == 0 ? addDays(from, -kFreeDelayDays) : from, to};
}

bool jquantsPlanHasTopix(std::string_view plan) { return planRank(plan) > 0; }

std::int32_t jquantsFilesFrom(std::string_view plan, std::int32_t today) {
    return jquantsPlanWindow(planRank(plan) > 0 ? plan : kPlans[3], today).from;
}

}  // namespace quarlink
