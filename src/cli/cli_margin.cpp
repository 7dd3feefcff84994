#include <iostream>

#include "cli_commands.h"
#include "cli_page_reads.h"

namespace quarlink::cli {
namespace {

struct Options {
    std::optional<int> code;
    std::optional<int> months;
};

int run(Context& context, const Options& options) {
    const auto& code = options.code;
    const int count = options.months.value_or(6);
    PageReadSetup setup(context.app, context.environment);
    std::vector<std::int32_t> dates, buys, sells;
    const int result = setup.reader.ReadMarginHistory(*code, count, dates, buys, sells);
    if (result != 1) return finishRead(result, setup.reader);
    std::cout << "1\n";
    for (std::size_t row = 0; row < dates.size(); ++row)
        std::cout << dates[row] << ' ' << buys[row] << ' ' << sells[row] << '\n';
    std::cout.flush();
    return kExitDone;
}

void addOptions(CLI::App& command, Options& options) {
    addCodeArgument(command, options.code, "the code to read");
    addNumber(command, "--months", options.months, 1, 600, "a number of months (1..600)",
              "read the balances of the last N months, 1 to 600 (default 6)");
}

}  // namespace

const Command kMarginCommand{
    "margin",
    "read one code's margin balances from the margin table (diagnostic)",
    Writes::Never,
    "Usage: quarlink-cli [--workdir DIR] margin CODE [--months N]\n"
    "\n"
    "Reads CODE's margin balances of the last N months (default 6) as the margin\n"
    "fill job does and prints the result line, then on success one line per\n"
    "date, oldest first:\n"
    "  DATE BUY SELL\n"
    "On -3 the reader's message follows the result line.\n"
    QUARLINK_PAGE_READ_HELP_END,
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
