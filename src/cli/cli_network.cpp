#include "cli_network.h"

#include <string>

namespace quarlink::cli {

std::optional<int> resumeOption(Args& args, bool& bad) {
    const auto text = args.value("--resume-from");
    if (!text) return std::nullopt;
    const auto code = parseNumber(*text);
    if (!code || *code > 9999) {
        bad = true;
        return std::nullopt;
    }
    return static_cast<int>(*code);
}

int reportResume(int exitCode, int code) {
    if (exitCode == kExitConnection || exitCode == kExitPage)
        printStatus("resume with --resume-from " + std::to_string(code));
    return exitCode;
}

}  // namespace quarlink::cli
