#pragma once
#include <optional>
#include <string_view>

#include "cli_support.h"

namespace quarlink::cli {

// --resume-from CODE: nullopt when absent; `bad` is set for a value that is
// not a code 0..9999.
std::optional<int> resumeOption(Args& args, bool& bad);

// After a stop on a connection failure (2) or an unrecognised page (3),
// tells how to go on: "resume with --resume-from CODE".
int reportResume(int exitCode, int code);

}  // namespace quarlink::cli
