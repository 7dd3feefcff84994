// Runs model operations that have no CLI command, so that the fault tests can
// preload the shim into them: quarlink_fault_driver editor-save WORKDIR CODE
#include <iostream>
#include <string>

#include "core/editor/data_editor.h"
#include "core/store/options.h"
#include "core/store/stale_files.h"

using namespace quarlink;

namespace {

class YesPrompter final : public Prompter {
public:
    void message(const std::string& text) override { std::cerr << text << '\n'; }
    bool askYesNo(const std::string&) override { return true; }
    Answer askYesNoCancel(const std::string&) override { return Answer::Yes; }
};

// Renames the code's entry, drops its newest price row, and saves both files.
int editorSave(Application& app, int code, Prompter& prompter) {
    DataEditor editor(app, 20061205);
    if (!editor.open(prompter)) return 1;
    editor.filter(DataEditor::kIndexData);
    int position = -1;
    for (std::size_t i = 0; i < editor.codeList.size(); ++i)
        if (editor.codeList[i] == code) position = static_cast<int>(i);
    if (position < 0) return 1;
    editor.selectCode(position);
    editor.setNameText("renamed");
    editor.changeEntry(prompter);
    editor.loadPrices();
    editor.prices.selectedRow = 0;
    editor.prices.deleteRow();
    // With "close after", save says whether both files were written.
    return editor.save(prompter, true) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::string(argv[1]) != "editor-save") {
        std::cerr << "usage: quarlink_fault_driver editor-save WORKDIR CODE\n";
        return 64;
    }
    YesPrompter prompter;
    Application app;
    app.workDir = argv[2];
    loadOptions(app, prompter);
    removeStaleTemporaryFiles(app);
    return editorSave(app, std::stoi(argv[3]), prompter);
}
