#include <iostream>

#include "cli_commands.h"
#include "cli_page_reads.h"

namespace quarlink::cli {
namespace {

struct Options {
    std::optional<int> code;
    std::optional<std::string> source;
    std::optional<int> mode;
};

int run(Context& context, const Options& options) {
    const auto& [code, source, mode] = options;
    PageReadSetup setup(context.app, context.environment);
    std::int32_t v[8] = {};
    const int m = mode.value_or(1);
    const int result = source && *source == "yahoo"
                           ? setup.reader.ReadYahooQuote(*code, m, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7])
                           : setup.reader.ReadInfoSeekQuote(*code, m, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    if (result != 1) return finishRead(result, setup.reader);
    std::cout << 1;
    for (std::int32_t value : v) std::cout << ' ' << value;
    std::cout << std::endl;
    return kExitDone;
}

void addOptions(CLI::App& command, Options& options) {
    addCodeArgument(command, options.code, "the code to read");
    addChoice(command, "--source", options.source, {"infoseek", "yahoo"},
              "the quote page service, infoseek (default) or yahoo")
        ->type_name("S");
    addModeOption(command, options.mode, "0 prices and volume, 1 also margin balances (default),\n2 prices only");
}

}  // namespace

const Command kQuoteCommand{
    "quote",
    "read one code's quote of the day from the quote pages (diagnostic)",
    Writes::Never,
    "Usage: quarlink-cli [--workdir DIR] quote CODE [--source infoseek|yahoo] [--mode 0|1|2]\n"
    "\n"
    "Reads CODE's quote of the day as the daily update does and prints\n"
    "  1 DATE OPEN HIGH LOW CLOSE VOLUME MARGINBUY MARGINSELL\n"
    "or the reader's result (-1 no such code or no trade, -2 fetch failed,\n"
    "-3 page not recognised, followed by the reader's message).\n"
    "The page servers are taken from endpoints.conf in the working folder.\n"
    QUARLINK_PAGE_READ_HELP_END,
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
