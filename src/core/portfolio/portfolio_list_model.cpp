#include "core/portfolio/portfolio_list_model.h"

#include "core/portfolio/portfolio_rows.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"

namespace quarlink {

std::vector<PortfolioEntry> parsePortfolioList(std::string_view bytes) {
    std::vector<PortfolioEntry> entries;
    for (const std::string& line : splitLines(bytes)) {
        PortfolioRow f = splitFields(line, 3);
        entries.push_back({std::move(f[0]), std::move(f[1]), std::move(f[2])});
    }
    return entries;
}

void PortfolioListModel::load() {
    ensureFolder(layout::userFolder(app_));
    rows.clear();
    selected = -1;
    std::string bytes;
    if (!readWholeFile(layout::portfolioListFile(app_), bytes)) return;
    for (PortfolioEntry& e : parsePortfolioList(bytes)) rows.insert(rows.begin(), std::move(e));
}

bool PortfolioListModel::save() {
    ensureFolder(layout::userFolder(app_));
    std::string bytes;
    for (const PortfolioEntry& e : rows) bytes += joinFields({e.name, e.number, e.manager});
    if (!replaceFileAtomically(layout::portfolioListFile(app_), bytes)) {
        prompter_.message("ファイルオープンエラー");
        return false;
    }
    return true;
}

void PortfolioListModel::pick() {
    if (selected < 0 || selected >= static_cast<int>(rows.size())) return;
    name = rows[selected].name;
    number = rows[selected].number;
    manager = rows[selected].manager;
}

bool PortfolioListModel::checkInput() {
    // The list file is Shift-JIS: a character it cannot hold would be stored as "?".
    if (!inputRefusal.empty()) {
        prompter_.message(inputRefusal);
        return false;
    }
    if (name.empty()) {
        prompter_.message("ポートフォリオ名が入力されていません。");
        return false;
    }
    if (number.empty()) {
        prompter_.message("管理番号が入力されていません。");
        return false;
    }
    if (manager.empty()) {
        prompter_.message("管理者名が入力されていません。");
        return false;
    }
    return true;
}

bool PortfolioListModel::add() {
    if (!checkInput()) return false;
    for (const PortfolioEntry& e : rows) {
        if (e.number == number) {
            prompter_.message("すでに使われている番号です。");
            return false;
        }
    }
    rows.insert(rows.begin(), {name, number, manager});
    if (selected >= 0) ++selected;
    name.clear();
    number.clear();
    manager.clear();
    save();
    return true;
}

bool PortfolioListModel::edit() {
    if (!checkInput()) return false;
    if (selected < 0 || selected >= static_cast<int>(rows.size()) || rows[selected].number != number) {
        prompter_.message("管理番号は変更できません。");
        return false;
    }
    rows[selected].name = name;
    rows[selected].manager = manager;
    save();
    return true;
}

bool PortfolioListModel::remove() {
    if (selected < 0 || selected >= static_cast<int>(rows.size())) return false;
    if (!prompter_.askYesNo("ポートフォリオを削除します。よろしいですか？")) return false;
    rows.erase(rows.begin() + selected);
    selected = -1;
    save();
    return true;
}

bool PortfolioListModel::open() {
    if (selected < 0 || selected >= static_cast<int>(rows.size())) return false;
    // A hand-edited list may hold a number that would name a file elsewhere.
    if (!isPortfolioNumber(rows[selected].number)) {
        prompter_.message("ファイルオープンエラー");
        return false;
    }
    app_.portfolioPrefix = "user/" + rows[selected].number;
    return true;
}

void PortfolioListModel::sort(int column) {
    if (column < NameColumn || column > ManagerColumn) return;
    const std::vector<int> moved = sortRowsBy(rows, [column](const PortfolioEntry& e) -> const std::string& {
        return column == NameColumn ? e.name : column == NumberColumn ? e.number : e.manager;
    });
    if (selected >= 0) selected = moved[selected];
}

bool PortfolioListModel::ensureReportFolder() { return ensureFolder(layout::htmlFolder(app_)); }

}  // namespace quarlink
