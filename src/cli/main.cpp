// quarlink-cli: the tray application's jobs for cron and scripts.
#include <chrono>
#include <optional>
#include <clocale>
#include <iostream>
#include <thread>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli_commands.h"
#include "cli_help.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/options.h"
#include "core/store/writer_lock.h"

using namespace quarlink;
using namespace quarlink::cli;

namespace {

// Takes the writer lock, waiting up to `waitSeconds` for another writer.
bool acquireWriterLock(WriterLock& lock, long waitSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    while (!lock.tryAcquire()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::cerr << "quarlink-cli: " << lock.busyMessage() << '\n';
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// The chart folder that the command's own loading of the options will find:
// the writer lock must be taken before the command runs.
std::string configuredChartFolder(const Application& app) {
    Application peek = app;
    std::string bytes;
    if (readWholeFile(layout::optionsFile(app), bytes)) parseOptions(bytes, peek);
    return peek.chartFolder;
}

void printHelp(const CLI::App& cli) {
    std::string prose =
        "Usage: quarlink-cli [--workdir DIR] COMMAND [OPTIONS]\n"
        "\n"
        "Keeps the chart program's data folder filled and in order, without a window.\n"
        "\n"
        "Commands:\n";
    for (const Command* c : commands()) {
        std::string name = c->name;
        name.resize(std::max<std::size_t>(name.size(), 14), ' ');
        prose += "  " + name + "  " + c->summary + '\n';
    }
    prose +=
        "\n"
        "Global options (before or after the command):\n"
        "{options}\n"
        "\n"
        "An option that takes a value refuses one that looks like an option: write\n"
        "--folder=-dir for a folder whose name starts with '-'. '--' ends the options.\n"
        "\n"
        "Exit codes:\n"
        "  0   done\n"
        "  1   refused or failed (the message is on standard error)\n"
        "  2   stopped on a connection failure (run again to resume)\n"
        "  3   stopped on an unrecognised page\n"
        "  64  usage error\n"
        "\n"
        "Status lines go to standard output, messages to standard error.\n";
    std::cout << renderHelp(cli, prose);
}

// CLI11 hands an option the next argument whatever it looks like, so that
// "--folder --init" would take "--init" for a folder. A value that starts
// with '-' must be written --name=VALUE; otherwise this names the option and
// `scope` the command it was given to (null for a global one).
std::optional<std::string> optionWithoutValue(CLI::App& cli, const std::vector<std::string>& args,
                                              CLI::App*& scope) {
    scope = nullptr;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") break;
        if (arg.size() < 2 || arg[0] != '-') {
            if (!scope) {
                for (CLI::App* sub : cli.get_subcommands([](CLI::App*) { return true; }))
                    if (sub->get_name() == arg) scope = sub;
            }
            continue;
        }
        if (arg.find('=') != std::string::npos) continue;
        const CLI::Option* option = scope ? scope->get_option_no_throw(arg) : nullptr;
        if (!option) option = cli.get_option_no_throw(arg);
        if (!option || option->get_items_expected_min() == 0) continue;
        const bool looksLikeOption = i + 1 < args.size() && args[i + 1].size() > 1 && args[i + 1][0] == '-';
        if (looksLikeOption) return arg;
        ++i;  // its value
    }
    return std::nullopt;
}

// The working folder and the writer lock: what every command runs with.
int runCommand(const Command& command, const Runner& runner, const std::optional<std::string>& workdir,
               int waitSeconds) {
    Context context;
    context.environment = systemEnvironment();
    context.app.workDir = workdir ? std::filesystem::path(*workdir) : defaultWorkDir();
    std::string error;
    if (!ensureFolder(context.app.workDir, &error)) {
        std::cerr << "quarlink-cli: 作業フォルダ" << error << '\n';
        return kExitFailed;
    }
    context.app.workDir = std::filesystem::absolute(context.app.workDir);
    WriterLock lock(context.app.workDir, "quarlink-cli", configuredChartFolder(context.app));
    if (command.writes == Writes::Always && !acquireWriterLock(lock, waitSeconds)) return kExitFailed;
    context.takeWriterLock = [&lock, waitSeconds] { return acquireWriterLock(lock, waitSeconds); };
    return runner(context);
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");

    CLI::App cli("quarlink-cli", "quarlink-cli");
    // Global options may come before or after the command.
    cli.fallthrough();
    std::optional<std::string> workdir;
    cli.add_option_function<std::string>(
           "--workdir", [&](const std::string& dir) { workdir = dir; },
           "working folder (Quarlink.conf, init/, backup/, sep/, user/, html/); default "
           "$XDG_DATA_HOME/quarlink, else ~/.local/share/quarlink")
        ->type_name("DIR");
    std::optional<int> wait;
    addNumber(cli, "--wait", wait, 0, 999'999'999, "a whole number of seconds",
              "when another quarlink or quarlink-cli is writing this working folder or its chart folder (from "
              "any working folder), wait up to SECONDS for it (default 0) before giving up (exit 1)")
        ->type_name("SECONDS");
    cli.set_help_flag("-h,--help", "this text; 'quarlink-cli COMMAND --help' explains a command");
    bool version = false;
    cli.add_flag("--version", version, "the version");

    CLI::App* help = cli.add_subcommand("help");
    std::string helpTopic;
    help->add_option("command", helpTopic, "the command to explain");

    std::vector<std::pair<const Command*, CLI::App*>> subcommands;
    std::vector<Runner> runners;
    for (const Command* c : commands()) {
        CLI::App* sub = cli.add_subcommand(c->name, c->summary);
        runners.push_back(c->declare(*sub));
        subcommands.emplace_back(c, sub);
    }
    cli.require_subcommand(0, 1);
    auto commandHelp = [&](const Command* c) {
        for (const auto& [command, sub] : subcommands)
            if (command == c) return renderHelp(*sub, c->help);
        return std::string();
    };

    // The command named so far, for the usage message and its help text.
    auto chosen = [&]() -> const Command* {
        for (std::size_t i = 0; i < subcommands.size(); ++i)
            if (subcommands[i].second->parsed()) return subcommands[i].first;
        return nullptr;
    };
    CLI::App* scope = nullptr;
    if (const auto option = optionWithoutValue(cli, std::vector<std::string>(argv + 1, argv + argc), scope))
        return usageError(scope ? scope->get_name() : "", *option + " needs a value");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        if (const Command* c = chosen()) {
            std::cout << commandHelp(c);
        } else {
            printHelp(cli);
        }
        return kExitDone;
    } catch (const CLI::ParseError& e) {
        const Command* c = chosen();
        if (!c && !help->parsed() && !cli.remaining().empty() && cli.remaining().front().rfind('-', 0) != 0) {
            std::cerr << "quarlink-cli: unknown command '" << cli.remaining().front() << "'\n"
                      << "Try 'quarlink-cli --help'.\n";
            return kExitUsage;
        }
        return usageError(c ? c->name : "", e.what());
    }

    if (version) {
        std::cout << "quarlink-cli " QUARLINK_VERSION "\n";
        return kExitDone;
    }
    if (help->parsed()) {
        for (const Command* c : commands())
            if (helpTopic == c->name) {
                std::cout << commandHelp(c);
                return kExitDone;
            }
        printHelp(cli);
        return kExitDone;
    }
    for (std::size_t i = 0; i < subcommands.size(); ++i)
        if (subcommands[i].second->parsed())
            return runCommand(*subcommands[i].first, runners[i], workdir, wait.value_or(0));
    printHelp(cli);
    return kExitUsage;
}
