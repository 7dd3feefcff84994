#include "cli_page_reads.h"

#include <iostream>

#include "core/store/folder_layout.h"

namespace quarlink::cli {

PageReadSetup::PageReadSetup(const Application& app, const WebEnvironment& environment)
    : endpoints(loadEndpoints(layout::endpointsFile(app))),
      client(endpoints, environment),
      reader(client, endpoints, *environment.clock) {
    client.onError = printFetchError;
}

void addCodeArgument(CLI::App& command, std::optional<int>& code, const std::string& description) {
    addNumber(command, "CODE", code, 1, 999'999'999, "a positive number", description)->required();
}

void addModeOption(CLI::App& command, std::optional<int>& mode, const std::string& description) {
    addNumber(command, "--mode", mode, 0, 2, "0, 1 or 2", description)->type_name("0|1|2");
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
