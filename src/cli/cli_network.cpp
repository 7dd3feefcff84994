#include "cli_network.h"

#include <string>

namespace quarlink::cli {

void addResumeOption(CLI::App& command, std::optional<int>& code) {
    addNumber(command, "--resume-from", code, 0, 9999, "a code 0..9999");
}

int reportResume(int exitCode, int code) {
    if (exitCode == kExitConnection || exitCode == kExitPage)
        printStatus("resume with --resume-from " + std::to_string(code));
    return exitCode;
}

}  // namespace quarlink::cli
