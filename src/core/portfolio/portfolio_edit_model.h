#pragma once
#include <initializer_list>
#include <utility>
#include <string>
#include <vector>

#include "core/portfolio/portfolio_rows.h"
#include "core/portfolio/portfolio_valuation.h"
#include "core/store/application.h"
#include "core/env/clock.h"
#include "core/store/index_table.h"
#include "core/env/prompter.h"

namespace quarlink {

struct CalendarDate {
    int year = 1970;
    int month = 1;
    int day = 1;
    friend bool operator==(const CalendarDate&, const CalendarDate&) = default;
};

// The behaviour of PortfolioEditDialog: the positions and trades of the
// portfolio named by Application::portfolioPrefix, the entry and close
// fields, and the five totals. The lists are a working copy; only save()
// writes the files.
class PortfolioEditModel {
public:
    static constexpr int kKindCount = 3;
    static const char* kindLabel(int kind);  // UTF-8: 現物買, 信用買, 信用売

    PortfolioEditModel(Application& app, Prompter& prompter, const Clock& clock)
        : app_(app), prompter_(prompter), clock_(clock) {}

    std::vector<PortfolioRow> positions;  // top first
    std::vector<TradeRow> trades;          // top first
    int selectedPosition = -1;
    int selectedTrade = -1;

    // Entry fields (texts are Shift-JIS bytes; the digit boxes hold digits).
    CalendarDate entryDate;
    std::string code, entryPrice, units, measuredDays;
    int kind = 0;
    // Close fields.
    CalendarDate closeDate;
    std::string exitPrice, closedUnits, netProfit;
    bool settled = false;

    PositionTotals positionTotals;
    TradeTotals tradeTotals;

    // Reads the index and both files and recomputes. False (after telling the
    // user) when the book cannot be opened; the dialog then closes.
    bool open();
    // Writes both files; the dialog closes whatever the outcome.
    bool save();

    bool addPosition();
    void pickPosition();
    bool editPosition();
    bool deletePosition();
    bool closePosition();
    void pickTrade();
    bool editTrade();
    bool deleteTrade();
    void sortPositions(int column);
    void sortTrades(int column);

    void recomputePositions();
    void recomputeTrades();

    const IndexTable& index() const { return index_; }

private:
    bool refuseBeyondField(std::initializer_list<std::pair<const char*, const std::string*>> boxes);
    bool checkEntry(const char* noSelection);
    bool checkClose(const char* noSelection, int selected, int count);
    void fillPosition(PortfolioRow& row) const;
    void fillTrade(TradeRow& trade) const;
    void resetEntry();
    void resetAll();
    CalendarDate today() const;

    Application& app_;
    Prompter& prompter_;
    const Clock& clock_;
    IndexTable index_;
};

}  // namespace quarlink
