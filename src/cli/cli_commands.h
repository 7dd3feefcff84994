#pragma once
#include <span>

#include "cli_support.h"

namespace quarlink::cli {

struct Command {
    const char* name;
    const char* summary;  // one line for the command list
    const char* help;     // the whole text of "COMMAND --help"
    // Runs with the working folder set up; loads the options itself.
    int (*run)(Context& context, Args& args);
};

// One line per command in cli_commands.cpp; each command lives in its own file.
std::span<const Command* const> commands();

extern const Command kOptionsCommand;
extern const Command kUpdateCommand;
extern const Command kMarginFillCommand;
extern const Command kInitCreateCommand;
extern const Command kInitTransferCommand;
extern const Command kInitDeleteCommand;
extern const Command kIndexUpdateCommand;
extern const Command kQuoteCommand;
extern const Command kHistoryCommand;
extern const Command kMarginCommand;
extern const Command kReportCommand;
extern const Command kSupplementCommand;
extern const Command kBackupCommand;
extern const Command kRestoreCommand;
extern const Command kSplitCommand;

// Loads the options as the tray application does at start-up. Returns false
// when the first start could not create the file (the run goes on).
void loadOptionsForCommand(Context& context);

// The chart folder guard: false (and the message shown) when not configured.
bool requireChartFolder(Context& context);

}  // namespace quarlink::cli
