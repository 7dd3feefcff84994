#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "cli_support.h"

namespace quarlink::cli {

// --resume-from CODE, where a run that stopped goes on.
void addResumeOption(CLI::App& command, std::optional<int>& code,
                     const std::string& description = "start at CODE, as printed by a run that stopped");

// After a stop on a connection failure (2) or an unrecognised page (3),
// tells how to go on: "--resume-from CODEで続きから再開できます".
int reportResume(int exitCode, int code);

}  // namespace quarlink::cli
