#include <iostream>

#include "cli_commands.h"
#include "cli_page_reads.h"

namespace quarlink::cli {
namespace {

int run(Context& context, Args& args) {
    const auto source = args.value("--source");
    const auto mode = args.value("--mode");
    if (args.missingValue()) return usageError("quote", args.missingName() + " needs a value");
    if (source && *source != "infoseek" && *source != "yahoo")
        return usageError("quote", "--source takes infoseek or yahoo");
    if (mode && *mode != "0" && *mode != "1" && *mode != "2") return usageError("quote", "--mode takes 0, 1 or 2");
    const auto code = takeCode(args, "quote");
    if (!code) return kExitUsage;

    PageReadSetup setup(context.app);
    std::int32_t v[8] = {};
    const int m = mode ? std::stoi(*mode) : 1;
    const int result = source && *source == "yahoo"
                           ? setup.reader.ReadYahooQuote(*code, m, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7])
                           : setup.reader.ReadInfoSeekQuote(*code, m, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    if (result != 1) return finishRead(result, setup.reader);
    std::cout << 1;
    for (std::int32_t value : v) std::cout << ' ' << value;
    std::cout << std::endl;
    return kExitDone;
}

}  // namespace

const Command kQuoteCommand{
    "quote",
    "read one code's quote of the day from the quote pages (diagnostic)",
    "Usage: quarlink-cli [--workdir DIR] quote CODE [--source infoseek|yahoo] [--mode 0|1|2]\n"
    "\n"
    "Reads CODE's quote of the day as the daily update does and prints\n"
    "  1 DATE OPEN HIGH LOW CLOSE VOLUME MARGINBUY MARGINSELL\n"
    "or the reader's result (-1 no such code or no trade, -2 fetch failed,\n"
    "-3 page not recognised, followed by the reader's message).\n"
    "The page servers are taken from endpoints.conf in the working folder.\n"
    "\n"
    "Options:\n"
    "  --source infoseek|yahoo  the quote page service (default infoseek)\n"
    "  --mode 0|1|2             0 prices and volume, 1 also margin balances (default),\n"
    "                           2 prices only\n"
    "\n"
    "Exit codes: 0 read, 1 no data, 2 fetch failed, 3 page not recognised.\n",
    run,
};

}  // namespace quarlink::cli
