#include "cli_commands.h"

#include "store/folder_layout.h"
#include "store/options.h"
#include "store/stale_files.h"

namespace quarlink::cli {

std::span<const Command* const> commands() {
    static const Command* const all[] = {
        &kOptionsCommand,
        &kUpdateCommand,
        &kMarginFillCommand,
        &kIndexUpdateCommand,
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
    };
    return all;
}

void loadOptionsForCommand(Context& context) {
    loadOptions(context.app, context.prompter);
    removeStaleTemporaryFiles(context.app);
}

bool requireChartFolder(Context& context) {
    if (!context.app.chartFolderConfigured()) {
        context.prompter.message("Sorvantideフォルダが指定されていません。\n設定⇒Sorvantide関連オプション から設定してください。");
        return false;
    }
    // A job over a folder that is not there would find nothing to do and call that done.
    const std::string missing = missingFolderMessage(layout::chartFolder(context.app), kMissingChartFolder);
    if (missing.empty()) return true;
    context.prompter.message(missing);
    return false;
}

}  // namespace quarlink::cli
