#pragma once
#include <optional>
#include <string_view>

namespace quarlink {

// The sources a user can choose, in the order every list offers them. The
// pages come in two quote services; the code-by-code histories of the pages
// (price and margin tables) are the same for both.
enum class SourceKind { InfoSeek = 0, Yahoo = 1, JQuants = 2 };

// What each kind can give. Jobs, dialogs, the CLI and the schedule ask the
// row; only Sources::of() tells the kinds apart to make a source.
struct SourceKindFacts {
    SourceKind kind;
    const char* name;    // the CLI's and schedule.conf's word
    const char* label;   // the source lists' text
    bool hasNikkei;      // the Nikkei average
    bool hasTopix;       // TOPIX of the day (the daily update, the schedule)
    bool needsKey;       // an API key, kept in the options
    bool byPlan;         // what it has and how far back depend on the J-Quants plan
    bool wholeMarket;    // the whole market at once: the daily update catches up by days, history is gathered first
    bool hasCalendar;    // the exchange's calendar, which the schedule counts business days by
};

inline constexpr SourceKindFacts kSourceKindFacts[] = {
    {SourceKind::InfoSeek, "infoseek", "InfoSeekマネー", true, false, false, false, false, false},
    {SourceKind::Yahoo, "yahoo", "Yahoo!ファイナンス", true, false, false, false, false, false},
    {SourceKind::JQuants, "jquants", "J-Quants API", false, true, true, true, true, true},
};

constexpr const SourceKindFacts& kindFacts(SourceKind kind) { return kSourceKindFacts[static_cast<int>(kind)]; }

const char* sourceKindName(SourceKind kind);
std::optional<SourceKind> sourceKindFromName(std::string_view name);

}  // namespace quarlink
