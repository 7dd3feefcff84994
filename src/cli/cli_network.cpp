#include "cli_network.h"

#include <string>

namespace quarlink::cli {

void addResumeOption(CLI::App& command, std::optional<int>& code, const std::string& description) {
    addCode(command, "--resume-from", code, description);
}

int reportResume(int exitCode, int code) {
    if (exitCode == kExitConnection || exitCode == kExitPage)
        printStatus("--resume-from " + std::to_string(code) + "で続きから再開できます");
    return exitCode;
}

}  // namespace quarlink::cli
