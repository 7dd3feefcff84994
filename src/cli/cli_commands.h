#pragma once
#include <functional>
#include <span>

#include "core/app/tray_menu.h"
#include "cli_support.h"

namespace quarlink::cli {

// Runs a command with the working folder set up; loads the options itself.
using Runner = std::function<int(Context& context)>;

// What a command may change in the chart folder (price files, index.txt) or
// in init/, backup/ and sep/: a command that writes takes the writer lock
// before it runs; one that writes only on request takes it itself
// (Context::takeWriterLock) when asked to. Settings files of its own
// (Quarlink.conf, schedule.conf) and reports do not count.
enum class Writes { Never, Always, OnRequest };

struct Command {
    const char* name;
    const char* summary;  // one line for the command list
    Writes writes;
    // The prose of "COMMAND --help"; its "{options}" lines take the declared
    // options with their descriptions (renderHelp).
    const char* help;
    // Declares the command's options and arguments, each with its
    // description, on its subcommand; the runner returned reads the values
    // parsed into them.
    Runner (*declare)(CLI::App& command);
};

// The usual `declare`: `add` binds the options to a fresh Options, whose
// values `run` reads when the command runs.
template <typename Options, void (*add)(CLI::App&, Options&), int (*run)(Context&, const Options&)>
Runner declareCommand(CLI::App& command) {
    auto options = std::make_shared<Options>();
    add(command, *options);
    return [options](Context& context) { return run(context, *options); };
}

// One line per command in cli_commands.cpp; each command lives in its own file.
std::span<const Command* const> commands();

extern const Command kOptionsCommand;
extern const Command kJQuantsCommand;
extern const Command kUpdateCommand;
extern const Command kMarginFillCommand;
extern const Command kInitCreateCommand;
extern const Command kInitTransferCommand;
extern const Command kInitDeleteCommand;
extern const Command kIndexUpdateCommand;
extern const Command kSplitsCommand;
extern const Command kQuoteCommand;
extern const Command kHistoryCommand;
extern const Command kMarginCommand;
extern const Command kReportCommand;
extern const Command kSupplementCommand;
extern const Command kBackupCommand;
extern const Command kRestoreCommand;
extern const Command kSplitCommand;
extern const Command kCheckCommand;
extern const Command kExportCommand;
extern const Command kImportCommand;
extern const Command kScheduleCommand;

// Loads the options and tidies the folders as the tray application does at
// start-up (a first start that cannot create the file goes on).
void loadOptionsForCommand(Context& context);

// The checks the tray menu makes before the entry's job: the chart folder
// guard, then the entry's question. False (the message shown) unless the
// job may run.
bool admitted(Context& context, TrayCommand entry);

}  // namespace quarlink::cli
