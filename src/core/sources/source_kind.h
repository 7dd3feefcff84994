#pragma once
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

}  // namespace quarlink
