#include "core/sources/source_kind.h"

namespace quarlink {

static_assert([] {
    for (int i = 0; i < 3; ++i)
        if (static_cast<int>(kSourceKindFacts[i].kind) != i) return false;
    return true;
}(), "kindFacts() indexes the table by the kind");

const char* sourceKindName(SourceKind kind) { return kindFacts(kind).name; }

std::optional<SourceKind> sourceKindFromName(std::string_view name) {
    for (const SourceKindFacts& f : kSourceKindFacts)
        if (name == f.name) return f.kind;
    return std::nullopt;
}

}  // namespace quarlink
