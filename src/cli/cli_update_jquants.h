#pragma once
#include <optional>
#include <string>

#include "cli_support.h"

namespace quarlink::cli {

// The options of "update" that the J-Quants source reads.
struct UpdateFlags {
    bool noMargin = false;
    bool allCodes = false;
    bool nikkei = false;
    bool topix = false;
    std::optional<std::string> from, through;  // YYYYMMDD
};

// update --source jquants: the catch-up over J-Quants API v2.
int runJQuantsUpdate(Context& context, const UpdateFlags& flags);

}  // namespace quarlink::cli
