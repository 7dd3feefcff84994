#include "cli_page_reads.h"

#include <iostream>

#include "store/folder_layout.h"

namespace quarlink::cli {

PageReadSetup::PageReadSetup(const Application& app)
    : endpoints(loadEndpoints(layout::endpointsFile(app))), client(endpoints), reader(client, endpoints, clock) {}

std::optional<int> takeCode(Args& args, const char* command) {
    const auto code = args.leftover();
    if (!code) {
        usageError(command, "CODE is missing");
        return std::nullopt;
    }
    args.flag(*code);
    const auto number = parseNumber(*code);
    if (!number || *number <= 0) {
        usageError(command, "CODE must be a positive number, not '" + *code + "'");
        return std::nullopt;
    }
    if (auto extra = args.leftover()) {
        usageError(command, "unexpected argument '" + *extra + "'");
        return std::nullopt;
    }
    return static_cast<int>(*number);
}

int finishRead(int result, const HtmlValueFormat& reader) {
    std::cout << result << '\n';
    if (result == -3) std::cout << reader.message << '\n';
    std::cout.flush();
    switch (result) {
        case 1: return kExitDone;
        case -1: return kExitFailed;
        case -2: return kExitConnection;
        default: return kExitPage;
    }
}

}  // namespace quarlink::cli
