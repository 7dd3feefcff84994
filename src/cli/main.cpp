// quarlink-cli: the tray application's jobs for cron and scripts.
#include <chrono>
#include <clocale>
#include <iostream>
#include <thread>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "store/atomic_file.h"
#include "store/folder_layout.h"
#include "store/writer_lock.h"

using namespace quarlink;
using namespace quarlink::cli;

namespace {

// Commands that only read pages, show settings or write their own reports;
// every other one writes price files, index.txt or init/backup/sep, and
// takes the writer lock.
bool writesData(std::string_view command) {
    return command != "quote" && command != "history" && command != "margin" && command != "options" &&
           command != "report";
}

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

void printHelp() {
    std::cout << "Usage: quarlink-cli [--workdir DIR] COMMAND [OPTIONS]\n"
                 "\n"
                 "Keeps the chart program's data folder filled and in order, without a window.\n"
                 "\n"
                 "Commands:\n";
    for (const Command* c : commands()) {
        std::string name = c->name;
        name.resize(std::max<std::size_t>(name.size(), 14), ' ');
        std::cout << "  " << name << "  " << c->summary << '\n';
    }
    std::cout << "\n"
                 "Global options:\n"
                 "  --workdir DIR   working folder (Quarlink.conf, init/, backup/, sep/, user/, html/);\n"
                 "                  default $XDG_DATA_HOME/quarlink, else ~/.local/share/quarlink\n"
                 "  --wait SECONDS  when another quarlink or quarlink-cli is writing, wait up to\n"
                 "                  SECONDS for it (default 0) before giving up with exit code 1\n"
                 "  --help          this text; 'quarlink-cli COMMAND --help' explains a command\n"
                 "\n"
                 "Exit codes:\n"
                 "  0   done\n"
                 "  1   refused or failed (the message is on standard error)\n"
                 "  2   stopped on a connection failure (run again to resume)\n"
                 "  3   stopped on an unrecognised page\n"
                 "  64  usage error\n"
                 "\n"
                 "Status lines go to standard output, messages to standard error.\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    std::vector<std::string> rest(argv + 1, argv + argc);

    Args global(rest);
    const auto workdir = global.value("--workdir");
    if (global.missingValue()) return usageError("", "--workdir needs a value");

    // The remaining arguments: the command name, then its own.
    const auto waitText = global.value("--wait");
    if (global.missingValue()) return usageError("", "--wait needs a value");
    const auto waitSeconds = waitText ? parseNumber(*waitText) : std::optional<long>(0);
    if (!waitSeconds || *waitSeconds < 0) return usageError("", "--wait needs a whole number of seconds");
    std::vector<std::string> remaining;
    {
        std::vector<std::string> all(argv + 1, argv + argc);
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i] == "--workdir" || all[i] == "--wait") {
                ++i;
                continue;
            }
            if (all[i].rfind("--workdir=", 0) == 0 || all[i].rfind("--wait=", 0) == 0) continue;
            remaining.push_back(all[i]);
        }
    }
    if (remaining.empty() || remaining.front() == "--help" || remaining.front() == "-h" ||
        remaining.front() == "help") {
        if (remaining.size() >= 2 && remaining.front() == "help") {
            for (const Command* c : commands())
                if (remaining[1] == c->name) {
                    std::cout << c->help;
                    return kExitDone;
                }
        }
        printHelp();
        return remaining.empty() ? kExitUsage : kExitDone;
    }
    if (remaining.front() == "--version") {
        std::cout << "quarlink-cli " QUARLINK_VERSION "\n";
        return kExitDone;
    }

    const Command* command = nullptr;
    for (const Command* c : commands())
        if (remaining.front() == c->name) command = c;
    if (!command) {
        std::cerr << "quarlink-cli: unknown command '" << remaining.front() << "'\n"
                  << "Try 'quarlink-cli --help'.\n";
        return kExitUsage;
    }
    Args args(std::vector<std::string>(remaining.begin() + 1, remaining.end()));
    if (args.helpRequested()) {
        std::cout << command->help;
        return kExitDone;
    }

    Context context;
    context.app.workDir = workdir ? std::filesystem::path(*workdir) : defaultWorkDir();
    std::string error;
    if (!ensureFolder(context.app.workDir, &error)) {
        std::cerr << "quarlink-cli: cannot create the working folder " << error << '\n';
        return kExitFailed;
    }
    context.app.workDir = std::filesystem::absolute(context.app.workDir);
    WriterLock lock(context.app.workDir, "quarlink-cli");
    if (writesData(command->name) && !acquireWriterLock(lock, *waitSeconds)) return kExitFailed;
    return command->run(context, args);
}
