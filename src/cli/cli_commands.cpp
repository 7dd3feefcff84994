#include "cli/cli_commands.h"

#include "store/options.h"

namespace quarlink::cli {

std::span<const Command* const> commands() {
    static const Command* const all[] = {
        &kOptionsCommand,
        &kSupplementCommand,
        &kBackupCommand,
        &kRestoreCommand,
        &kSplitCommand,
    };
    return all;
}

void loadOptionsForCommand(Context& context) { loadOptions(context.app, context.prompter); }

bool requireChartFolder(Context& context) {
    if (context.app.chartFolderConfigured()) return true;
    context.prompter.message("Sorvantideフォルダが指定されていません。\n設定⇒Sorvantide関連オプション から設定してください。");
    return false;
}

}  // namespace quarlink::cli
