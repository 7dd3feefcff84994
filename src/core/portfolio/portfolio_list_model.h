#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "core/store/application.h"
#include "core/env/prompter.h"

namespace quarlink {

// One portfolio of the book; texts are Shift-JIS bytes.
struct PortfolioEntry {
    std::string name;
    std::string number;  // compared as text: 7 and 07 differ
    std::string manager;
    friend bool operator==(const PortfolioEntry&, const PortfolioEntry&) = default;
};

// user/plist.csv: name, number and manager per line; the manager ends at a
// further comma or the line end.
std::vector<PortfolioEntry> parsePortfolioList(std::string_view bytes);

// The behaviour of PortfolioDialog: the list in screen order, the three input
// texts and the selected row. Every change is saved at once.
class PortfolioListModel {
public:
    enum Column { NameColumn = 0, NumberColumn = 1, ManagerColumn = 2 };

    PortfolioListModel(Application& app, Prompter& prompter) : app_(app), prompter_(prompter) {}

    std::vector<PortfolioEntry> rows;  // top of the list first
    std::string name, number, manager;  // the input boxes
    std::string inputRefusal;  // set by the dialog: the boxes hold characters CP932 cannot store
    int selected = -1;

    // Reads the list file; each line goes to the top, so the screen shows
    // the file reversed. A missing file gives an empty list.
    void load();
    // Writes the rows top to bottom; "ファイルオープンエラー" when it cannot.
    bool save();

    void pick();
    bool add();
    bool edit();
    bool remove();
    // Sets the application's portfolioPrefix for the selected row and returns
    // true when the edit dialog should open.
    bool open();
    void sort(int column);

    // Makes sure html/ exists; the caller shows it.
    bool ensureReportFolder();

private:
    bool checkInput();

    Application& app_;
    Prompter& prompter_;
};

}  // namespace quarlink
