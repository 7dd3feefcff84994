#pragma once
#include <span>
#include <string>

#include "core/jobs/backup_job.h"
#include "core/jobs/year_split_job.h"
#include "core/store/application.h"
#include "core/env/prompter.h"

namespace quarlink {

// The tray popup menu as plain data, so that its order, texts, guards and
// questions can be checked without building a single widget.
enum class TrayCommand {
    Portfolio,
    Update,
    SuppShin,
    UpdateIndex,
    DataEditor,
    MakeBackUp,
    RestoreBackUp,
    Supplement,
    DataCheck,
    Sepalater,
    OpenExtensionFolder,
    InitValueData,
    Options,
    FirstStartGuide,
    OpenWorkFolder,
    About,
    Exit,
    // The scheduled update's entries, shown only while they apply.
    StopScheduledUpdate,
    ScheduledOutcome,
};

enum class TrayQuestion { None, Backup, Restore, Split };

struct TrayMenuItem {
    enum class Kind { Entry, BeginSubMenu, EndSubMenu, Separator };
    Kind kind;
    const char* text;  // UTF-8, "&" marks the mnemonic; empty for separators and sub-menu ends
    TrayCommand command = TrayCommand::Exit;  // meaningful for entries only
    bool guarded = false;                     // needs the chart folder
    TrayQuestion question = TrayQuestion::None;
    // Shown only while the commands offer it (TrayCommands::offered); it acts
    // on a run that is already there, beside any open dialog.
    bool onlyWhenOffered = false;
};

namespace tray_text {
inline constexpr const char* kToolTip = "Quarlink実行中";
inline constexpr const char* kAlreadyRunning = "すでに起動しています。タスクトレイを確認してください。";
inline constexpr const char* kNoChartFolder =
    "Sorvantideフォルダが指定されていません。\n設定⇒Sorvantide関連オプション から設定してください。";
inline constexpr const char* kChartProgramMissing =
    "Sorvantideが指定したフォルダに存在しません。\nオプションを再度確認してください。";
// The three questions belong to their jobs; the menu asks them.
inline constexpr const char* kBackupQuestion = backup_text::kBackupQuestion;
inline constexpr const char* kRestoreQuestion = backup_text::kRestoreQuestion;
inline constexpr const char* kSplitQuestion = split_text::kSplitQuestion;
// Shown when no file manager takes the folder, so the user can still find it.
inline constexpr const char* kFolderNotOpened = "フォルダを開けませんでした。\n";
inline constexpr const char* kRetryQuestion = "再試行しますか？";
}  // namespace tray_text

// Every item of the popup menu, top to bottom.
std::span<const TrayMenuItem> trayMenuItems();

// The entry of `command` (every command has exactly one).
const TrayMenuItem& trayMenuEntry(TrayCommand command);

// The question's text, empty for None.
std::string trayQuestionText(TrayQuestion question);

enum class Admission { Proceed, NoChartFolder, Declined };

// The checks a command passes before it acts: the chart folder guard (which
// tells the user), then the Yes/No question; only Yes proceeds.
Admission admitCommand(const TrayMenuItem& entry, const Application& app, Prompter& prompter);

}  // namespace quarlink
