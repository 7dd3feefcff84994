#include "core/app/tray_menu.h"

#include <algorithm>
#include <array>

#include "core/store/folder_layout.h"

namespace quarlink {
namespace {

using K = TrayMenuItem::Kind;
using C = TrayCommand;
using Q = TrayQuestion;

constexpr TrayMenuItem entry(const char* text, C command, bool guarded, Q question = Q::None) {
    return {K::Entry, text, command, guarded, question};
}

constexpr TrayMenuItem whileOffered(const char* text, C command) {
    return {K::Entry, text, command, false, Q::None, true};
}

constexpr std::array kItems{
    whileOffered("定時更新を中止", C::StopScheduledUpdate),
    whileOffered("自動更新の結果を表示", C::ScheduledOutcome),
    entry("ポートフォリオ管理", C::Portfolio, true),
    TrayMenuItem{K::BeginSubMenu, "Sorvantide(&O)"},
    entry("日々のデータ更新", C::Update, true),
    entry("信用残補填", C::SuppShin, true),
    entry("index.txt更新", C::UpdateIndex, true),
    entry("銘柄データ編集", C::DataEditor, true),
    entry("株価バックアップの作成", C::MakeBackUp, true, Q::Backup),
    entry("株価バックアップの復元", C::RestoreBackUp, true, Q::Restore),
    entry("株価データ補完", C::Supplement, true),
    entry("データ点検", C::DataCheck, true),
    entry("株価データの分割保存", C::Sepalater, true, Q::Split),
    entry("extensionフォルダを開く", C::OpenExtensionFolder, true),
    entry("株価データ初期化(&I)", C::InitValueData, true),
    TrayMenuItem{K::EndSubMenu, ""},
    TrayMenuItem{K::BeginSubMenu, "設定(&S)"},
    entry("Sorvantide関連オプション", C::Options, false),
    entry("初期設定ガイド(&G)", C::FirstStartGuide, false),
    entry("Quarlinkフォルダを開く", C::OpenWorkFolder, false),
    TrayMenuItem{K::EndSubMenu, ""},
    TrayMenuItem{K::Separator, ""},
    entry("バージョン情報(&V)", C::About, false),
    TrayMenuItem{K::Separator, ""},
    entry("終了(&X)", C::Exit, false),
};

}  // namespace

std::span<const TrayMenuItem> trayMenuItems() { return kItems; }

const TrayMenuItem& trayMenuEntry(TrayCommand command) {
    const auto it = std::find_if(kItems.begin(), kItems.end(),
                                 [&](const TrayMenuItem& i) { return i.kind == K::Entry && i.command == command; });
    return *it;  // the table holds every command
}

std::string trayQuestionText(TrayQuestion question) {
    switch (question) {
    case Q::Backup: return tray_text::kBackupQuestion;
    case Q::Restore: return tray_text::kRestoreQuestion;
    case Q::Split: return tray_text::kSplitQuestion;
    case Q::None: break;
    }
    return {};
}

Admission admitCommand(const TrayMenuItem& item, const Application& app, Prompter& prompter) {
    if (item.guarded && !app.chartFolderConfigured()) {
        prompter.message(tray_text::kNoChartFolder);
        return Admission::NoChartFolder;
    }
    // Portfolios live in the working folder and open without the chart folder.
    if (item.guarded && item.command != C::Portfolio) {
        const std::string missing = missingFolderMessage(layout::chartFolder(app), kMissingChartFolder);
        if (!missing.empty()) {
            prompter.message(missing);
            return Admission::NoChartFolder;
        }
    }
    if (item.question != Q::None && !prompter.askYesNo(trayQuestionText(item.question))) return Admission::Declined;
    return Admission::Proceed;
}

}  // namespace quarlink
