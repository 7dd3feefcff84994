#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/editor/price_list.h"
#include "core/store/application.h"
#include "core/store/index_flags.h"
#include "core/store/index_table.h"
#include "core/env/prompter.h"

namespace quarlink {

// The stock data editor without its window: the index table being edited,
// the members behind every control, and every command with its checks,
// messages and questions. The dialog copies its controls into the public
// members before a command and shows them all again afterwards.
//
// Index texts (the table, `name`) are Shift-JIS bytes; texts meant only for
// display (status, count, list lines) are UTF-8.
class DataEditor {
public:
    enum Filter {
        kNoFilter, kAllData, kIndexData, kUnregistered, kTosho, kT1, kT2, kMothers,
        kDaisho, kO1, kO2, kHercules, kJasdaq, kN225, kDelisted, kA500, kFilterCount
    };
    static const std::array<const char*, kFilterCount>& filterNames();  // UTF-8, selector order

    DataEditor(Application& app, std::int32_t initialDate);
    const Application& app() const { return app_; }

    // Reads index.txt; false (after the message) when it cannot be read and
    // the dialog must close.
    bool open(Prompter& prompter);

    // Members bound to controls.
    IndexTable index;
    std::string selectedCode;  // "%04d" or empty
    std::string name;          // Shift-JIS bytes
    bool n225 = false, obs = false, a500 = false;
    int market = -1;           // 0..6 into kMarketCodes, -1 none
    std::string unit;
    std::int32_t splitDate = 0;  // YYYYMMDD
    std::string ratio;
    int selectedSplit = -1;
    std::string searchText;  // UTF-8, as typed
    std::string countText;
    std::string statusText;
    std::vector<int> codeList;
    std::vector<std::string> splitLines;  // UTF-8
    PriceList prices;

    // The name box speaks Unicode; an unchanged display keeps the stored
    // bytes, so codes that do not survive a trip through Unicode stay intact.
    std::string nameText() const;
    void setNameText(const std::string& utf8);

    // Bumped whenever `codeList` is refilled.
    unsigned codeListRevision() const { return codeListRevision_; }

    // Commands.
    void filter(int entry);
    void search();
    void selectCode(int listIndex);
    void selectSplit();
    void addEntry(Prompter& prompter);
    void changeEntry(Prompter& prompter);
    void deleteEntry(Prompter& prompter);
    void addSplit(Prompter& prompter);
    void changeSplit(Prompter& prompter);
    void deleteSplit(Prompter& prompter);
    void loadPrices();
    // "保存" and "保存終了"; returns true when the dialog should close.
    bool save(Prompter& prompter, bool closeAfter);

private:
    int code() const;  // the selected code's number, -1 when none
    bool refuseUnselectedOrProtected(Prompter& prompter) const;
    bool nameIsEmpty() const;
    void showEntry();
    void refillSplitLines();
    void storeSplits(const IndexFlags& stored, std::vector<Split> splits);
    std::vector<bool> codesWithPriceFile() const;

    Application& app_;
    unsigned codeListRevision_ = 0;
    std::string nameRefusal_;  // set when the name box holds characters CP932 cannot store
};

}  // namespace quarlink
