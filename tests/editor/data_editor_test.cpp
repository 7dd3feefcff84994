#include <gtest/gtest.h>

#include <functional>

#include "support/editor_fixture.h"
#include "core/store/text_encoding.h"

namespace quarlink::testing {
namespace {

using Answer = Prompter::Answer;

const std::string kNotSelected = msg("コードが選択されていません。");
const std::string kProtected = msg("コード0600以下はindexを編集することができません。");
const std::string kSaveQuestion = "yesnocancel: 編集済みのデータをindex.txtに反映させます。\nindex.txtを上書きしますか？";
const std::string kDateZeroNotice = msg(
    "index.txtを日付0000/00/00で上書きします。上書きしたindex.txtはSorvantideを再起動するまで反映しません。\n"
    "最新のindex.txtに戻したい場合はSorvantideよりインデックスファイルのダウンロードを行ってください。");
const std::string kPriceQuestion = "yesno: 株価データを上書きしますか？";

// Shift-JIS names: トヨタ, 日本水産, and one with NEC row 13 (①, 0x87 0x40)
// and an NEC-selected IBM extension (0xED 0x40) that Unicode maps elsewhere.
const std::string kToyota = "\x83\x67\x83\x88\x83\x5e";
const std::string kNissui = "\x93\xfa\x96\x7b\x90\x85\x8e\x59";
const std::string kOddName = "\x87\x40\xed\x40\x87\x90\x83\x5c";

const std::string kIndex = "date=20061205\r\n"
                           "0101,\x93\xfa\x8c\x6f\x95\xbd\x8b\xcf,,1\r\n"
                           "1332," + kNissui + ",T1,1000,XYZ,N225,S:20060101:2\r\n"
                           "4000," + kOddName + ",J,100\r\n"
                           "7203," + kToyota + ",T1,100,N225,A500,S:20050401:1.5\r\n"
                           "8000,Single,O2,1000,S:20060101:2\r\n";

struct Command {
    const char* name;
    std::function<void(DataEditor&, Prompter&)> run;
};

const Command kEditCommands[] = {
    {"index追加", [](DataEditor& e, Prompter& p) { e.addEntry(p); }},
    {"index編集", [](DataEditor& e, Prompter& p) { e.changeEntry(p); }},
    {"index削除", [](DataEditor& e, Prompter& p) { e.deleteEntry(p); }},
    {"分割追加", [](DataEditor& e, Prompter& p) { e.addSplit(p); }},
    {"分割編集", [](DataEditor& e, Prompter& p) { e.changeSplit(p); }},
    {"分割削除", [](DataEditor& e, Prompter& p) { e.deleteSplit(p); }},
};

using DataEditorTest = EditorFixture;

TEST_F(DataEditorTest, MissingIndexClosesWithMessage) {
    DataEditor editor(app, 20061205);
    EXPECT_FALSE(editor.open(prompter));
    EXPECT_EQ(prompter.shown, std::vector<std::string>{msg("index.txtが開けません。終了します。")});
}

TEST_F(DataEditorTest, EveryCommandRefusesWithoutCodeAndForProtectedCodes) {
    for (const Command& command : kEditCommands) {
        for (const int code : {-1, 0, 101, 599}) {
            SCOPED_TRACE(std::string(command.name) + " " + std::to_string(code));
            DataEditor& e = openEditor(kIndex);
            if (code >= 0) select(code);
            e.name = "X";
            e.unit = "100";
            e.market = 0;
            e.ratio = "2";
            e.selectedSplit = 0;
            prompter.shown.clear();
            const IndexTable before = e.index;
            command.run(e, prompter);
            EXPECT_EQ(prompter.shown, std::vector<std::string>{code < 0 ? kNotSelected : kProtected});
            EXPECT_EQ(e.index.name, before.name);
            EXPECT_EQ(e.index.flags, before.flags);
        }
    }
}

TEST_F(DataEditorTest, Code0600IsEditable) {
    DataEditor& e = openEditor(kIndex);
    select(600);
    e.name = "Fund";
    e.unit = "1";
    e.market = 6;
    e.addEntry(prompter);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(e.statusText, "0600,Fund,J,1");
}

TEST_F(DataEditorTest, AddEntryChecksInOrder) {
    struct Case {
        int code;
        std::string name, unit;
        int market;
        std::string expected;
    } cases[] = {
        {7203, "", "", -1, "すでにindex.txtに登録されていいるコードです。index編集により操作を行ってください。"},
        {1301, "", "", -1, "銘柄名が入力されていません。"},
        {1301, ",,", "100", 0, "銘柄名が入力されていません。"},
        {1301, "A", "", -1, "売買単位が入力されていません。"},
        {1301, "A", "100", -1, "市場が選択されていません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        DataEditor& e = openEditor(kIndex);
        select(c.code);
        e.name = c.name;
        e.unit = c.unit;
        e.market = c.market;
        prompter.shown.clear();
        e.addEntry(prompter);
        EXPECT_EQ(prompter.shown, std::vector<std::string>{msg(c.expected)});
        EXPECT_EQ(e.index.isRegistered(1301), false);
    }
}

TEST_F(DataEditorTest, AddedEntryLosesCommasAndIsSavedInCodeOrder) {
    DataEditor& e = openEditor(kIndex);
    select(1301);
    EXPECT_EQ(e.statusText, "index.txt未登録銘柄");
    e.setNameText("A,B");
    e.market = 1;
    e.unit = "1000";
    e.obs = true;
    e.addEntry(prompter);
    EXPECT_EQ(e.statusText, "1301,AB,T2,1000,OBS");

    prompter.answers = {Answer::Yes};
    EXPECT_FALSE(e.save(prompter, true));
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{kSaveQuestion, kDateZeroNotice}));
    const std::string saved = index();
    EXPECT_EQ(saved.substr(0, 15), "date=00000000\r\n");
    EXPECT_NE(saved.find("\r\n1301,AB,T2,1000,OBS\r\n1332,"), std::string::npos);
}

TEST_F(DataEditorTest, ChangeEntryChecksInOrder) {
    struct Case {
        int code;
        std::string name, unit, expected;
    } cases[] = {
        {1301, "A", "1", "index.txtに登録されていないコードです。index追加により登録を行ってください。"},
        {7203, "", "1", "銘柄名が入力されていません。"},
        {7203, ",", "1", "銘柄名が入力されていません。"},
        {7203, "A", "", "売買単位が入力されていません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        DataEditor& e = openEditor(kIndex);
        select(c.code);
        e.name = c.name;
        e.unit = c.unit;
        prompter.shown.clear();
        e.changeEntry(prompter);
        EXPECT_EQ(prompter.shown, std::vector<std::string>{msg(c.expected)});
        EXPECT_EQ(e.index.name[7203], kToyota);
    }
}

TEST_F(DataEditorTest, ChangeEntryStoresTickBoxesWithStoredSplitsAndDropsUnknownTokens) {
    DataEditor& e = openEditor(kIndex);
    select(1332);
    EXPECT_TRUE(e.n225);
    EXPECT_EQ(e.market, 0);
    e.n225 = false;
    e.obs = true;
    e.a500 = true;
    e.market = -1;  // no selection keeps the stored market
    e.unit = "10,0";
    e.changeEntry(prompter);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(e.index.flags[1332], "OBS,A500,S:20060101:2");
    EXPECT_EQ(e.index.market[1332], "T1");
    EXPECT_EQ(e.index.unit[1332], "100");
}

TEST_F(DataEditorTest, SelectingUnregisteredCodeKeepsMarketChoice) {
    DataEditor& e = openEditor(kIndex);
    select(8000);
    EXPECT_EQ(e.market, 4);
    EXPECT_EQ(e.splitLines, std::vector<std::string>{"2006/01/01 → 2分割"});
    select(1301);
    EXPECT_EQ(e.market, 4);
    EXPECT_EQ(e.name, "");
    EXPECT_EQ(e.unit, "");
    EXPECT_TRUE(e.splitLines.empty());
    EXPECT_EQ(e.statusText, "index.txt未登録銘柄");
}

TEST_F(DataEditorTest, SplitCommandsKeepStoredMarksAndDateOrder) {
    struct Step {
        std::function<void(DataEditor&, Prompter&)> act;
        std::string flags;
    };
    DataEditor& e = openEditor(kIndex);
    select(7203);  // N225,A500,S:20050401:1.5
    const Step steps[] = {
        {[](DataEditor& e, Prompter& p) {
             e.n225 = false;  // tick boxes are not what a split command stores
             e.obs = true;
             e.splitDate = 20060101;
             e.ratio = "2";
             e.addSplit(p);
         },
         "N225,A500,S:20050401:1.5,S:20060101:2"},
        {[](DataEditor& e, Prompter& p) {
             e.selectedSplit = 1;
             e.splitDate = 20040401;
             e.ratio = "2";
             e.changeSplit(p);
         },
         "N225,A500,S:20040401:2,S:20050401:1.5"},
        {[](DataEditor& e, Prompter& p) {  // an equal date goes after the existing split
             e.splitDate = 20040401;
             e.ratio = "3";
             e.addSplit(p);
         },
         "N225,A500,S:20040401:2,S:20040401:3,S:20050401:1.5"},
        {[](DataEditor& e, Prompter& p) {
             e.selectedSplit = 0;
             e.deleteSplit(p);
         },
         "N225,A500,S:20040401:3,S:20050401:1.5"},
        {[](DataEditor& e, Prompter& p) {
             e.splitDate = 20070101;
             e.ratio = "abc";
             e.addSplit(p);
         },
         "N225,A500,S:20040401:3,S:20050401:1.5,S:20070101:0"},
        {[](DataEditor& e, Prompter& p) {
             e.splitDate = 20080101;
             e.ratio = "nan";
             e.addSplit(p);
         },
         "N225,A500,S:20040401:3,S:20050401:1.5,S:20070101:0,S:20080101:0"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.flags);
        step.act(e, prompter);
        EXPECT_TRUE(prompter.shown.empty());
        EXPECT_EQ(e.index.flags[7203], step.flags);
        EXPECT_EQ(e.ratio, "");
        EXPECT_EQ(e.selectedSplit, -1);
        EXPECT_EQ(e.statusText, cp932ToUtf8("7203," + kToyota + ",T1,100," + step.flags));
    }
    EXPECT_EQ(e.splitLines.front(), "2004/04/01 → 3分割");
    EXPECT_EQ(e.splitLines[1], "2005/04/01 → 1.5分割");
}

TEST_F(DataEditorTest, SplitCommandRefusals) {
    struct Case {
        int code;
        std::string ratio;
        int selected;
        std::function<void(DataEditor&, Prompter&)> run;
        std::string expected;
    } cases[] = {
        {1301, "2", 0, [](DataEditor& e, Prompter& p) { e.addSplit(p); },
         "未登録コードへの分割追加は行えません。先にindex追加を行ってください。"},
        {7203, "", 0, [](DataEditor& e, Prompter& p) { e.addSplit(p); }, "分割比が入力されていません。"},
        {7203, "", 0, [](DataEditor& e, Prompter& p) { e.changeSplit(p); }, "分割比が入力されていません。"},
        {7203, "2", -1, [](DataEditor& e, Prompter& p) { e.changeSplit(p); }, "編集する項目を選択してください。"},
        {7203, "2", 5, [](DataEditor& e, Prompter& p) { e.changeSplit(p); }, "編集する項目を選択してください。"},
        {7203, "", -1, [](DataEditor& e, Prompter& p) { e.deleteSplit(p); }, "削除する項目を選択してください。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        DataEditor& e = openEditor(kIndex);
        select(c.code);
        e.ratio = c.ratio;
        e.selectedSplit = c.selected;
        c.run(e, prompter);
        EXPECT_EQ(prompter.shown, std::vector<std::string>{msg(c.expected)});
        EXPECT_EQ(e.index.flags[7203], "N225,A500,S:20050401:1.5");
        prompter.shown.clear();
    }
}

TEST_F(DataEditorTest, SelectSplitFillsDateAndRatio) {
    DataEditor& e = openEditor(kIndex);
    select(7203);
    e.selectedSplit = 0;
    e.selectSplit();
    EXPECT_EQ(e.splitDate, 20050401);
    EXPECT_EQ(e.ratio, "1.5");
    e.selectedSplit = -1;
    e.selectSplit();
    EXPECT_EQ(e.ratio, "");
}

TEST_F(DataEditorTest, DeletingOnlySplitWritesFourFields) {
    DataEditor& e = openEditor(kIndex);
    select(8000);
    e.selectedSplit = 0;
    e.deleteSplit(prompter);
    EXPECT_EQ(e.index.flags[8000], "");
    prompter.answers = {Answer::Yes};
    e.save(prompter, false);
    EXPECT_NE(index().find("\r\n8000,Single,O2,1000\r\n"), std::string::npos);
}

TEST_F(DataEditorTest, DeleteEntryAsksAndKeepsPriceFile) {
    writePrices(7203, {{20061204, 1, 2, 3, 4, 5, 6, 7}});
    DataEditor& e = openEditor(kIndex);
    select(7203);
    prompter.answers = {Answer::No, Answer::Yes};
    e.deleteEntry(prompter);
    EXPECT_TRUE(e.index.isRegistered(7203));
    e.deleteEntry(prompter);
    const std::string question = "yesno: 7203 " + cp932ToUtf8(kToyota) +
                                 "\nをindex.txt銘柄情報から削除します、よろしいですか？（株価データは残ります）";
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{question, question}));
    EXPECT_FALSE(e.index.isRegistered(7203));
    EXPECT_EQ(e.statusText, "index.txt未登録銘柄");
    EXPECT_EQ(e.nameText(), cp932ToUtf8(kToyota));  // the boxes keep their texts
    EXPECT_TRUE(std::filesystem::exists(layout::dataFile(app, 7203)));
}

TEST_F(DataEditorTest, FiltersChooseCodes) {
    for (int code : {101, 599, 600, 1332, 1301}) writePrices(code, {});
    struct Case {
        int entry;
        std::vector<int> codes;
    } cases[] = {
        {DataEditor::kNoFilter, {}},
        {DataEditor::kAllData, {101, 599, 600, 1301, 1332}},
        {DataEditor::kIndexData, {101, 1332, 4000, 7203, 8000}},
        {DataEditor::kUnregistered, {600, 1301}},
        {DataEditor::kTosho, {1332, 7203}},
        {DataEditor::kT1, {1332, 7203}},
        {DataEditor::kT2, {}},
        {DataEditor::kDaisho, {8000}},
        {DataEditor::kO2, {8000}},
        {DataEditor::kJasdaq, {4000}},
        {DataEditor::kN225, {1332, 7203}},
        {DataEditor::kDelisted, {}},
        {DataEditor::kA500, {7203}},
    };
    DataEditor& e = openEditor(kIndex);
    for (const Case& c : cases) {
        SCOPED_TRACE(DataEditor::filterNames()[c.entry]);
        e.prices.loaded = true;
        e.filter(c.entry);
        EXPECT_EQ(e.codeList, c.codes);
        EXPECT_EQ(e.countText, "対象数:" + std::to_string(c.codes.size()));
        EXPECT_FALSE(e.prices.loaded);
    }
}

TEST_F(DataEditorTest, SearchMatchesWholeCharactersOrTheCode) {
    struct Case {
        std::string text;
        std::vector<int> codes;
    } cases[] = {
        {"日本", {1332}},
        {"ト", {7203}},
        {"g", {8000}},      // "Single"; トヨタ holds 0x67 only as a trail byte
        {"\\", {}},         // ソ is 0x83 0x5C
        {"7203", {7203}},
        {"1301", {1301}},   // a code number needs no entry
        {"0", {}},
    };
    DataEditor& e = openEditor(kIndex);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        e.searchText = c.text;
        e.search();
        EXPECT_EQ(e.codeList, c.codes);
        EXPECT_EQ(e.countText, "対象数:" + std::to_string(c.codes.size()));
    }
    e.searchText = "";
    e.search();
    EXPECT_TRUE(e.codeList.empty());
    EXPECT_EQ(e.countText, "対象数:0");  // the count of the last search stays
}

TEST_F(DataEditorTest, SavingAnOpenedIndexKeepsEveryEntryByteForByte) {
    DataEditor& e = openEditor(kIndex);
    for (int code : {4000, 7203}) {
        select(code);
        e.setNameText(e.nameText());  // what the dialog does before each command
        e.changeEntry(prompter);
    }
    prompter.answers = {Answer::Yes};
    e.save(prompter, false);
    EXPECT_EQ(index(), "date=00000000" + kIndex.substr(13));
}

TEST_F(DataEditorTest, EditedNameIsStoredAsShiftJis) {
    DataEditor& e = openEditor(kIndex);
    select(4000);
    e.setNameText(e.nameText() + "株");
    e.changeEntry(prompter);
    EXPECT_EQ(e.index.name[4000].substr(0, 2), "\x87\x40");
    EXPECT_EQ(e.index.name[4000].substr(e.index.name[4000].size() - 2), "\x8a\x94");
}

TEST_F(DataEditorTest, SaveQuestionsAndWhenTheDialogCloses) {
    writePrices(7203, {{20061204, 1, 2, 3, 4, 5, 6, 7}});
    struct Case {
        const char* what;
        bool load;
        bool closeAfter;
        std::deque<Answer> answers;
        bool indexWritten;
        bool closes;
        std::vector<std::string> shown;
    } cases[] = {
        {"cancel", true, true, {Answer::Cancel}, false, false, {kSaveQuestion}},
        {"no, prices yes", true, true, {Answer::No, Answer::Yes}, false, true, {kSaveQuestion, kPriceQuestion}},
        {"no, prices no", true, true, {Answer::No, Answer::No}, false, false, {kSaveQuestion, kPriceQuestion}},
        {"yes, nothing loaded", false, true, {Answer::Yes}, true, false, {kSaveQuestion, kDateZeroNotice}},
        {"yes, prices yes, 保存", true, false, {Answer::Yes, Answer::Yes}, true, false,
         {kSaveQuestion, kDateZeroNotice, kPriceQuestion}},
        {"yes, prices yes, 保存終了", true, true, {Answer::Yes, Answer::Yes}, true, true,
         {kSaveQuestion, kDateZeroNotice, kPriceQuestion}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataEditor& e = openEditor(kIndex);
        select(7203);
        if (c.load) e.loadPrices();
        e.prices.rows.clear();  // shows whether the price file was written
        prompter.shown.clear();
        prompter.answers = c.answers;
        EXPECT_EQ(e.save(prompter, c.closeAfter), c.closes);
        EXPECT_EQ(prompter.shown, c.shown);
        EXPECT_EQ(index().substr(0, 13), c.indexWritten ? "date=00000000" : "date=20061205");
        const bool pricesWritten = c.answers.size() == 2 && c.answers[1] == Answer::Yes;
        EXPECT_EQ(std::filesystem::file_size(layout::dataFile(app, 7203)), pricesWritten ? 0u : 32u);
        writePrices(7203, {{20061204, 1, 2, 3, 4, 5, 6, 7}});
    }
}

TEST_F(DataEditorTest, FailedIndexSaveStopsBeforePrices) {
    writePrices(7203, {{20061204, 1, 2, 3, 4, 5, 6, 7}});
    DataEditor& e = openEditor(kIndex);
    select(7203);
    e.loadPrices();
    // The index path becomes a folder: the rename over it must fail.
    std::filesystem::remove(layout::indexFile(app));
    std::filesystem::create_directory(layout::indexFile(app));
    prompter.answers = {Answer::Yes};
    EXPECT_FALSE(e.save(prompter, true));
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{kSaveQuestion, kDateZeroNotice, msg("index.txtが開けません。")}));
    EXPECT_TRUE(std::filesystem::is_directory(layout::indexFile(app)));
}

TEST_F(DataEditorTest, FailedPriceSaveKeepsDialogOpen) {
    writePrices(7203, {{20061204, 1, 2, 3, 4, 5, 6, 7}});
    DataEditor& e = openEditor(kIndex);
    select(7203);
    e.loadPrices();
    std::filesystem::remove_all(layout::dataFolder(app));
    prompter.answers = {Answer::No, Answer::Yes};
    EXPECT_FALSE(e.save(prompter, true));
    EXPECT_EQ(prompter.shown.back(), msg("株価ファイルが開けません。ファイルが破損した恐れがあります。"));
}

TEST_F(DataEditorTest, LoadFollowsTheSelectedCode) {
    writePrices(7203, {{20061204, 1, 2, 3, 4, 5, 6, 7}, {20061205, 1, 2, 3, 4, 5, 6, 7}});
    DataEditor& e = openEditor(kIndex);
    e.loadPrices();  // nothing selected
    EXPECT_FALSE(e.prices.loaded);
    select(7203);
    e.loadPrices();
    EXPECT_TRUE(e.prices.loaded);
    EXPECT_EQ(e.prices.rows.size(), 2u);
    e.searchText = "日本";
    e.search();
    EXPECT_TRUE(e.prices.loaded);  // a search keeps the list
    e.selectCode(0);
    EXPECT_FALSE(e.prices.loaded);
    EXPECT_TRUE(e.prices.rows.empty());
}

}  // namespace
}  // namespace quarlink::testing
