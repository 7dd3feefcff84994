#include "cli_page_reads.h"

#include <iostream>

#include "store/folder_layout.h"

namespace quarlink::cli {

PageReadSetup::PageReadSetup(const Application& app)
    : endpoints(loadEndpoints(layout::endpointsFile(app))), client(endpoints), reader(client, endpoints, clock) {}

void addCodeArgument(CLI::App& command, std::optional<int>& code) {
    addNumber(command, "CODE", code, 1, 999'999'999, "a positive number")->required();
}

void addModeOption(CLI::App& command, std::optional<int>& mode) {
    addNumber(command, "--mode", mode, 0, 2, "0, 1 or 2");
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
