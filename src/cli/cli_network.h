#pragma once
#include <optional>
#include <string_view>

#include "cli_support.h"

namespace quarlink::cli {

// --resume-from CODE, a code 0..9999.
void addResumeOption(CLI::App& command, std::optional<int>& code);

// After a stop on a connection failure (2) or an unrecognised page (3),
// tells how to go on: "resume with --resume-from CODE".
int reportResume(int exitCode, int code);

}  // namespace quarlink::cli
