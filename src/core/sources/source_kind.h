#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace quarlink {

// The sources a user can choose, in the order every list offers them. The
// pages come in two quote services; the code-by-code histories of the pages
// (price and margin tables) are the same for both.
enum class SourceKind { InfoSeek = 0, Yahoo = 1, JQuants = 2 };

// "infoseek", "yahoo", "jquants": the CLI's and schedule.conf's names.
const char* sourceKindName(SourceKind kind);
std::optional<SourceKind> sourceKindFromName(std::string_view name);

// Whether the source has the Nikkei average (J-Quants has none).
bool hasNikkeiAverage(SourceKind kind);

// The days a J-Quants plan's history reaches on `today` (Japan), as the
// service states them: Free from about two years and twelve weeks back to
// twelve weeks back, Light 5 years, Standard 10, Premium 20, up to today. A
// name it does not know is taken as Free, as the client paces it.
struct PlanWindow {
    std::int32_t from = 0;
    std::int32_t to = 0;
};
PlanWindow jquantsPlanWindow(std::string_view plan, std::int32_t today);
// The first day a bulk list is asked from: the plan's window, or the
// widest any plan has where the plan named has no files (a key whose plan is
// not known yet may still have them).
std::int32_t jquantsFilesFrom(std::string_view plan, std::int32_t today);
// TOPIX comes with Light and above.
bool jquantsPlanHasTopix(std::string_view plan);

}  // namespace quarlink
