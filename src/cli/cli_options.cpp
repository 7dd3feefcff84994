#include <iostream>

#include "cli_commands.h"
#include "core/store/options.h"

namespace quarlink::cli {
namespace {

struct Options {
    std::optional<std::string> folder;
    std::optional<int> launch;
};

int run(Context& context, const Options& options) {
    const auto& [folder, launch] = options;
    loadOptionsForCommand(context);
    Application& app = context.app;
    if (folder || launch) {
        const std::string path = folder ? *folder : app.chartFolder;
        const bool launchChart = launch ? *launch == 1 : app.launchChart == 1;
        if (!saveOptions(app, path, launchChart, context.prompter)) return kExitFailed;
    }
    std::cout << "chartFolder=" << app.chartFolder << '\n' << "launchChart=" << app.launchChart << '\n';
    return kExitDone;
}

void addOptions(CLI::App& command, Options& options) {
    command
        .add_option_function<std::string>(
            "--chart-folder", [&options](const std::string& path) { options.folder = path; },
            "the chart program's folder (holds data/ and index.txt)")
        ->type_name("PATH");
    addNumber(command, "--launch-chart", options.launch, 0, 1, "0 or 1",
              "1 = start the chart program when quarlink starts")
        ->type_name("0|1");
}

}  // namespace

const Command kOptionsCommand{
    "options",
    "show or change the settings (chart folder, start the chart program)",
    Writes::Never,
    "Usage: quarlink-cli [--workdir DIR] options [--chart-folder PATH] [--launch-chart 0|1]\n"
    "\n"
    "Loads the options file Quarlink.conf from the working folder (creating it at\n"
    "first start) and prints the settings:\n"
    "  chartFolder=<path>\n"
    "  launchChart=<0|1>\n"
    "\n"
    "With --chart-folder or --launch-chart, saves the settings first, as the\n"
    "options dialog does: the path is trimmed and stored with forward slashes.\n"
    "\n"
    "Options:\n"
    "{options}\n",
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
