#include <iostream>

#include "cli_commands.h"
#include "cli_page_reads.h"

namespace quarlink::cli {
namespace {

struct Options {
    std::optional<int> code;
    std::optional<int> year;
    std::optional<int> mode;
};

int run(Context& context, const Options& options) {
    const auto& [code, year, mode] = options;
    PageReadSetup setup(context.app, context.environment);
    std::vector<std::int32_t> s[8];
    const int result = setup.reader.ReadPriceHistory(*code, *year, mode.value_or(0),
                                                     s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]);
    if (result != 1) return finishRead(result, setup.reader);
    std::cout << "1\n";
    for (std::size_t row = 0; row < s[0].size(); ++row) {
        for (int field = 0; field < 8; ++field) std::cout << (field ? " " : "") << s[field][row];
        std::cout << '\n';
    }
    std::cout.flush();
    return kExitDone;
}

void addOptions(CLI::App& command, Options& options) {
    addCodeArgument(command, options.code, "the code to read, or an index series' number");
    addYear(command, "--start-year", options.year, "first year to read (required)")->required();
    addModeOption(command, options.mode, "0 prices and volume (default), 1 also margin balances,\n2 prices only");
}

}  // namespace

const Command kHistoryCommand{
    "history",
    "read one code's price history from the price tables (diagnostic)",
    Writes::Never,
    "Usage: quarlink-cli [--workdir DIR] history CODE --start-year YYYY [--mode 0|1|2]\n"
    "\n"
    "Reads CODE's daily prices from January of YYYY to the end of this year, two\n"
    "months per page, as the initial data job does, and prints the result line,\n"
    "then on success one line per day, oldest first:\n"
    "  DATE OPEN HIGH LOW CLOSE VOLUME BUY SELL\n"
    "On -3 the reader's message follows the result line. Index series use the\n"
    "service's numbers: 998407 Nikkei average, 998405 TOPIX.\n"
    QUARLINK_PAGE_READ_HELP_END,
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
