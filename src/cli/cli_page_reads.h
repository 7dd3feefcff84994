#pragma once
#include <optional>
#include <string>

#include "cli_support.h"
#include "core/env/clock.h"
#include "core/web/endpoints.h"
#include "core/web/html_value_format.h"
#include "core/web/http_client.h"

namespace quarlink::cli {

// What the page-reading diagnostics share: the endpoints of the working
// folder, one client, the run's clock and a reader over them.
struct PageReadSetup {
    PageReadSetup(const Application& app, const WebEnvironment& environment);

    Endpoints endpoints;
    HttpClient client;
    HtmlValueFormat reader;
};

// The one positional CODE, a positive number (the services number their
// indices past 9999); required.
void addCodeArgument(CLI::App& command, std::optional<int>& code, const std::string& description);

// --mode 0|1|2 of the page readers; the default differs by reader.
void addModeOption(CLI::App& command, std::optional<int>& mode, const std::string& description);

// The end of every page read's help: its arguments and options, then the
// reader's results as exit codes (a literal, to close a help text).
#define QUARLINK_PAGE_READ_HELP_END                                                                          \
    "\n"                                                                                                     \
    "Arguments and options:\n"                                                                               \
    "{options}\n"                                                                                            \
    "\n"                                                                                                     \
    "Exit codes: 0 read, 1 no data, 2 fetch failed, 3 page not recognised.\n"

// Prints the result line (and the reader's message for -3) and returns the
// exit code: 0 for 1, 1 for -1, 2 for -2, 3 for -3.
int finishRead(int result, const HtmlValueFormat& reader);

}  // namespace quarlink::cli
