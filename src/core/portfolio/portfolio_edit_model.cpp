#include "core/portfolio/portfolio_edit_model.h"

#include <limits>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"

namespace quarlink {
namespace {

constexpr const char* kKinds[] = {"現物買", "信用買", "信用売"};

bool validPrefix(const std::string& prefix) {
    constexpr std::string_view user = "user/";
    return prefix.starts_with(user) && isPortfolioNumber(std::string_view(prefix).substr(user.size()));
}

CalendarDate dateFromField(const std::string& text, CalendarDate fallback) {
    const std::int32_t d = fieldDate(text);
    const CalendarDate date{d / 10000, d / 100 % 100, d % 100};
    if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) return fallback;
    return date;
}

std::string dateText(const CalendarDate& d) { return formatDate(d.year, d.month, d.day); }

template <typename Rows>
bool validIndex(int i, const Rows& rows) {
    return i >= 0 && i < static_cast<int>(rows.size());
}

}  // namespace

const char* PortfolioEditModel::kindLabel(int kind) { return kKinds[kind >= 0 && kind < kKindCount ? kind : 0]; }

CalendarDate PortfolioEditModel::today() const {
    const LocalDateTime now = clock_.now();
    return {now.year, now.month, now.day};
}

bool PortfolioEditModel::open() {
    if (!validPrefix(app_.portfolioPrefix)) {
        prompter_.message("ファイルオープンエラー");
        return false;
    }
    if (!app_.chartFolderConfigured() || !loadIndexTable(layout::indexFile(app_), index_)) {
        prompter_.message("index.txtが開けません。終了します。");
        return false;
    }
    kind = 0;
    entryDate = closeDate = today();
    positions.clear();
    trades.clear();
    ensureFolder(layout::userFolder(app_));
    std::string bytes;
    if (readWholeFile(layout::buyFile(app_, app_.portfolioPrefix), bytes)) {
        for (const std::string& line : splitLines(bytes))
            positions.insert(positions.begin(), splitFields(line, kPositionColumns));
        if (readWholeFile(layout::sellFile(app_, app_.portfolioPrefix), bytes)) {
            for (const std::string& line : splitLines(bytes))
                trades.insert(trades.begin(), TradeRow{splitFields(line, kTradeColumns), false});
        }
    }
    recomputePositions();
    recomputeTrades();
    return true;
}

bool PortfolioEditModel::save() {
    ensureFolder(layout::userFolder(app_));
    std::string bytes;
    for (const PortfolioRow& row : positions) bytes += joinFields(row);
    if (!validPrefix(app_.portfolioPrefix) ||
        !replaceFileAtomically(layout::buyFile(app_, app_.portfolioPrefix), bytes)) {
        prompter_.message("ファイルオープンエラー");
        return false;
    }
    bytes.clear();
    for (const TradeRow& t : trades) bytes += joinFields(t.columns);
    if (!replaceFileAtomically(layout::sellFile(app_, app_.portfolioPrefix), bytes)) {
        prompter_.message("ファイルオープンエラー");
        return false;
    }
    return true;
}

void PortfolioEditModel::recomputePositions() {
    quarlink::recomputePositions(positions, index_, layout::dataFolder(app_), positionTotals);
}

void PortfolioEditModel::recomputeTrades() { quarlink::recomputeTrades(trades, index_, prompter_, tradeTotals); }

bool PortfolioEditModel::checkEntry(const char* noSelection) {
    if (noSelection && !validIndex(selectedPosition, positions)) {
        prompter_.message(noSelection);
        return false;
    }
    if (code.empty()) {
        prompter_.message("証券コードが入力されていません。");
        return false;
    }
    if (entryPrice.empty()) {
        prompter_.message("額面が入力されていません。");
        return false;
    }
    if (units.empty()) {
        prompter_.message("購入数が入力されていません。");
        return false;
    }
    return !refuseBeyondField({{"額面", &entryPrice}, {"枚数", &units}});
}

// The book reads 額面 and 枚数 as 32-bit numbers (their product is taken in
// 64 bits): a larger entry would silently become 2147483647.
bool PortfolioEditModel::refuseBeyondField(std::initializer_list<std::pair<const char*, const std::string*>> boxes) {
    for (const auto& [label, value] : boxes) {
        const std::int64_t n = amountNumber(*value);
        if (n < 0 || n > std::numeric_limits<std::int32_t>::max()) {
            prompter_.message(std::string(label) + "は0から2147483647までの数で入力してください。");
            return true;
        }
    }
    return false;
}

bool PortfolioEditModel::checkClose(const char* noSelection, int selected, int count) {
    const char* failure = nullptr;
    if (selected < 0 || selected >= count)
        failure = noSelection;
    else if (code.empty())
        failure = "証券コードが入力されていません。";
    else if (entryPrice.empty())
        failure = "仕掛け額面が入力されていません。";
    else if (units.empty())
        failure = "枚数が入力されていません。";
    else if (exitPrice.empty())
        failure = "仕掛け額面が入力されていません。";
    else if (closedUnits.empty())
        failure = "枚数が入力されていません。";
    if (failure) prompter_.message(failure);
    return !failure && !refuseBeyondField({{"額面", &entryPrice}, {"枚数", &units}, {"額面", &exitPrice},
                                           {"枚数", &closedUnits}});
}

void PortfolioEditModel::fillPosition(PortfolioRow& row) const {
    row.resize(kPositionColumns);
    row[0] = dateText(entryDate);
    row[1] = code;
    row[4] = sjis(kindLabel(kind));
    row[5] = entryPrice;
    row[6] = units;
    row[9] = measuredDays.empty() ? sjis("現在まで") : measuredDays;
}

void PortfolioEditModel::fillTrade(TradeRow& trade) const {
    PortfolioRow& row = trade.columns;
    row.resize(kTradeColumns);
    row[0] = dateText(entryDate);
    row[1] = code;
    row[4] = sjis(kindLabel(kind));
    row[5] = entryPrice;
    row[6] = closedUnits;
    row[8] = dateText(closeDate);
    row[9] = exitPrice;
    row[11] = netProfit;
    row[12] = sjis(settled ? "済" : "未");
    trade.fresh = true;
}

void PortfolioEditModel::resetEntry() {
    entryDate = today();
    code.clear();
    entryPrice.clear();
    units.clear();
    measuredDays.clear();
}

void PortfolioEditModel::resetAll() {
    resetEntry();
    closeDate = today();
    exitPrice.clear();
    closedUnits.clear();
    netProfit.clear();
    settled = false;
}

bool PortfolioEditModel::addPosition() {
    if (!checkEntry(nullptr)) return false;
    PortfolioRow row(kPositionColumns);
    fillPosition(row);
    positions.insert(positions.begin(), std::move(row));
    if (selectedPosition >= 0) ++selectedPosition;
    resetEntry();
    recomputePositions();
    return true;
}

void PortfolioEditModel::pickPosition() {
    if (!validIndex(selectedPosition, positions)) return;
    const PortfolioRow& row = positions[selectedPosition];
    entryDate = dateFromField(row[0], entryDate);
    code = row[1];
    entryPrice = row[5];
    units = row[6];
    measuredDays = row[9] == sjis("現在まで") ? std::string() : row[9];
}

bool PortfolioEditModel::editPosition() {
    if (!checkEntry("編集対象の仕掛けが選択されていません。")) return false;
    fillPosition(positions[selectedPosition]);
    resetEntry();
    recomputePositions();
    return true;
}

bool PortfolioEditModel::deletePosition() {
    if (!validIndex(selectedPosition, positions)) return false;
    if (!prompter_.askYesNo("仕掛けを削除します。よろしいですか？")) return false;
    positions.erase(positions.begin() + selectedPosition);
    selectedPosition = -1;
    return true;
}

bool PortfolioEditModel::closePosition() {
    if (!checkClose("手仕舞い対象の仕掛けが選択されていません。", selectedPosition,
                    static_cast<int>(positions.size())))
        return false;
    TradeRow trade;
    fillTrade(trade);
    trades.insert(trades.begin(), std::move(trade));
    if (selectedTrade >= 0) ++selectedTrade;

    const std::int32_t held = fieldNumber(units);
    const std::int32_t closed = fieldNumber(closedUnits);
    if (held == closed) {
        deletePosition();
    } else {
        // The rest stays open: the selected position is rewritten with the
        // remaining units and the other entry fields, as an edit would.
        units = std::to_string(static_cast<std::int64_t>(held) - closed);
        fillPosition(positions[selectedPosition]);
    }
    resetAll();
    recomputePositions();
    recomputeTrades();
    return true;
}

void PortfolioEditModel::pickTrade() {
    if (!validIndex(selectedTrade, trades)) return;
    const PortfolioRow& row = trades[selectedTrade].columns;
    entryDate = dateFromField(row[0], entryDate);
    code = row[1];
    entryPrice = row[5];
    units = row[6];
    closeDate = dateFromField(row[8], closeDate);
    exitPrice = row[9];
    closedUnits = row[6];
    netProfit = row[11];
    settled = row[12] == sjis("済");
}

bool PortfolioEditModel::editTrade() {
    if (!checkClose("対象が選択されていません。", selectedTrade, static_cast<int>(trades.size()))) return false;
    fillTrade(trades[selectedTrade]);
    resetAll();
    recomputeTrades();
    return true;
}

bool PortfolioEditModel::deleteTrade() {
    if (!validIndex(selectedTrade, trades)) return false;
    if (!prompter_.askYesNo("売買情報を削除します。よろしいですか？")) return false;
    trades.erase(trades.begin() + selectedTrade);
    selectedTrade = -1;
    return true;
}

void PortfolioEditModel::sortPositions(int column) {
    if (column < 0 || column >= static_cast<int>(kPositionColumns)) return;
    const auto moved = sortRowsBy(positions, [column](const PortfolioRow& r) -> const std::string& { return r[column]; });
    if (selectedPosition >= 0) selectedPosition = moved[selectedPosition];
}

void PortfolioEditModel::sortTrades(int column) {
    if (column < 0 || column >= static_cast<int>(kTradeColumns)) return;
    const auto moved =
        sortRowsBy(trades, [column](const TradeRow& t) -> const std::string& { return t.columns[column]; });
    if (selectedTrade >= 0) selectedTrade = moved[selectedTrade];
}

}  // namespace quarlink
