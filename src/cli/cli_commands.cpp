#include "cli_commands.h"

#include "core/app/startup.h"

namespace quarlink::cli {

std::span<const Command* const> commands() {
    static const Command* const all[] = {
        &kOptionsCommand,
        &kJQuantsCommand,
        &kUpdateCommand,
        &kMarginFillCommand,
        &kIndexUpdateCommand,
        &kSplitsCommand,
        &kInitCreateCommand,
        &kInitTransferCommand,
        &kInitDeleteCommand,
        &kQuoteCommand,
        &kHistoryCommand,
        &kMarginCommand,
        &kReportCommand,
        &kSupplementCommand,
        &kBackupCommand,
        &kRestoreCommand,
        &kSplitCommand,
        &kCheckCommand,
        &kExportCommand,
        &kImportCommand,
        &kScheduleCommand,
    };
    return all;
}

void loadOptionsForCommand(Context& context) {
    prepareRun(context.app, context.prompter);
}

bool admitted(Context& context, TrayCommand entry) {
    return admitCommand(trayMenuEntry(entry), context.app, context.prompter) == Admission::Proceed;
}

}  // namespace quarlink::cli
