#pragma once
#include "cli_support.h"

namespace quarlink::cli {

// Flags of "update" already taken from the arguments when the source is jquants.
struct UpdateFlags {
    bool noMargin = false;
    bool allCodes = false;
    bool nikkei = false;
    bool resume = false;
};

// update --source jquants: the catch-up over J-Quants API v2.
int runJQuantsUpdate(Context& context, Args& args, const UpdateFlags& flags);

}  // namespace quarlink::cli
