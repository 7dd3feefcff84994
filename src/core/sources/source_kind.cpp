#include "core/sources/source_kind.h"

namespace quarlink {

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

}  // namespace quarlink
