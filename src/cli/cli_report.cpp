#include "cli_commands.h"
#include "core/portfolio/portfolio_report.h"
#include "core/env/clock.h"

namespace quarlink::cli {
namespace {

int run(Context& context) {
    loadOptionsForCommand(context);
    SystemClock clock;
    std::vector<std::filesystem::path> written;
    const bool done = writeAllReports(context.app, clock, context.prompter, &written);
    for (const auto& path : written) printStatus(path.lexically_relative(context.app.workDir).string());
    return done ? kExitDone : kExitFailed;
}

Runner declare(CLI::App&) { return run; }

}  // namespace

const Command kReportCommand{
    "report",
    "write the HTML report of every portfolio (HTML総出力)",
    Writes::Never,
    "Usage: quarlink-cli [--workdir DIR] report\n"
    "\n"
    "Writes html/p<number>_<name>(<manager>).html in the working folder for every\n"
    "portfolio of user/plist.csv, in the order of that file, from the position and\n"
    "trade files as last saved (user/<number>_buy.csv and user/<number>_sell.csv).\n"
    "Prints each report written, relative to the working folder.\n"
    "\n"
    "The run stops at the first portfolio whose files cannot be read or whose\n"
    "report cannot be written (message on standard error, exit code 1); the\n"
    "reports already written stay.\n",
    declare,
};

}  // namespace quarlink::cli
