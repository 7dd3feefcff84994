#include "core/editor/data_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"
#include "core/store/sjis_text.h"
#include "core/store/text_encoding.h"

namespace quarlink {
namespace {

const char* const kNotSelected = "コードが選択されていません。";
const char* const kProtected = "コード0600以下はindexを編集することができません。";
const char* const kNameMissing = "銘柄名が入力されていません。";
const char* const kUnitMissing = "売買単位が入力されていません。";
const char* const kRatioMissing = "分割比が入力されていません。";
const char* const kIndexOpenFailed = "index.txtが開けません。";

std::string withoutCommas(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != ',') out.push_back(c);
    return out;
}

// The unit is the line's fourth field: a comma or line end in it would shift
// the flags, so those never reach the table.
std::string unitField(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != ',' && c != '\r' && c != '\n') out.push_back(c);
    return out;
}

std::string ratioText(double ratio) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", ratio);
    return text;
}

// Texts such as "nan" or "inf" are not numbers either: they would be written
// into the flags as such.
double ratioValue(std::string_view text) {
    const double value = leadingDecimal(text);
    return std::isfinite(value) ? value : 0;
}

std::string countLine(std::size_t n) { return "対象数:" + std::to_string(n); }

}  // namespace

const std::array<const char*, DataEditor::kFilterCount>& DataEditor::filterNames() {
    static const std::array<const char*, kFilterCount> names = {
        "フィルター", "すべてのデータ", "index.txtデータ", "未登録データ", "東証",     "東証１部",
        "東証２部",   "マザーズ",       "大証",           "大証１部",     "大証２部", "ヘラクレス",
        "ジャスダック", "日経225採用",  "上場廃止銘柄",   "売買上位500",
    };
    return names;
}

DataEditor::DataEditor(Application& app, std::int32_t initialDate) : splitDate(initialDate), app_(app) {
    prices.date = initialDate;
}

bool DataEditor::open(Prompter& prompter) {
    if (!loadIndexTable(layout::indexFile(app_), index)) {
        prompter.message("index.txtが開けません。終了します。");
        return false;
    }
    statusText =
        "index.txtと株価データを直接編集できます。index.txtの日付は0になりますので間違って保存した場合は"
        "Sorvantideより再度ダウンロードしてください。";
    return true;
}

std::string DataEditor::nameText() const { return cp932ToUtf8(name); }

void DataEditor::setNameText(const std::string& utf8) {
    if (utf8 != cp932ToUtf8(name)) name = utf8ToCp932(utf8);
    nameRefusal_ = cp932Refusal("銘柄名", utf8);
}

int DataEditor::code() const {
    if (selectedCode.empty()) return -1;
    const std::int64_t value = leadingDigits(selectedCode);
    return value < kCodeCount ? static_cast<int>(value) : -1;
}

std::vector<bool> DataEditor::codesWithPriceFile() const {
    // One listing of the folder rather than ten thousand existence tests.
    std::vector<bool> present(kCodeCount, false);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(layout::dataFolder(app_), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string fileName = it->path().filename().string();
        if (fileName.size() != 4 || !std::all_of(fileName.begin(), fileName.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            continue;
        present[std::stoi(fileName)] = true;
    }
    return present;
}

void DataEditor::filter(int entry) {
    codeList.clear();
    prices.reset();
    std::vector<bool> files;
    if (entry == kAllData || entry == kUnregistered) files = codesWithPriceFile();
    const auto marketIs = [this](int c, const char* m) { return index.market[c] == m; };
    const auto marketHas = [this](int c, char letter) {
        return index.market[c].find(letter) != std::string::npos;
    };
    const auto flagsHave = [this](int c, const char* token) {
        return index.flags[c].find(token) != std::string::npos;
    };
    for (int c = 0; c < kCodeCount; ++c) {
        bool listed = false;
        switch (entry) {
        case kAllData: listed = files[c]; break;
        case kIndexData: listed = index.isRegistered(c); break;
        case kUnregistered: listed = c >= kFirstUnprotectedCode && files[c] && !index.isRegistered(c); break;
        case kTosho: listed = marketHas(c, 'T'); break;
        case kT1: listed = marketIs(c, "T1"); break;
        case kT2: listed = marketIs(c, "T2"); break;
        case kMothers: listed = marketIs(c, "M"); break;
        case kDaisho: listed = marketHas(c, 'O'); break;
        case kO1: listed = marketIs(c, "O1"); break;
        case kO2: listed = marketIs(c, "O2"); break;
        case kHercules: listed = marketIs(c, "H"); break;
        case kJasdaq: listed = marketIs(c, "J"); break;
        case kN225: listed = flagsHave(c, "N225"); break;
        case kDelisted: listed = flagsHave(c, "OBS"); break;
        case kA500: listed = flagsHave(c, "A500"); break;
        default: break;
        }
        if (listed) codeList.push_back(c);
    }
    ++codeListRevision_;
    countText = countLine(codeList.size());
}

void DataEditor::search() {
    codeList.clear();
    ++codeListRevision_;
    if (searchText.empty()) return;
    const std::string needle = utf8ToCp932(searchText);
    const std::int64_t number = leadingInteger(searchText);
    for (int c = 0; c < kCodeCount; ++c) {
        const bool nameMatch = !index.name[c].empty() && sjisFind(index.name[c], needle) != std::string::npos;
        if (nameMatch || (number != 0 && number == c)) codeList.push_back(c);
    }
    countText = countLine(codeList.size());
}

void DataEditor::selectCode(int listIndex) {
    if (listIndex < 0 || listIndex >= static_cast<int>(codeList.size())) return;
    prices.reset();
    const int c = codeList[listIndex];
    selectedCode = layout::codeName(c);
    name = index.name[c];
    const IndexFlags flags = parseFlags(index.flags[c]);
    n225 = flags.n225;
    obs = flags.obs;
    a500 = flags.a500;
    ratio.clear();
    if (const int m = marketIndex(index.market[c]); m >= 0) market = m;
    unit = index.unit[c];
    refillSplitLines();
    showEntry();
}

void DataEditor::selectSplit() {
    if (selectedCode.empty()) return;
    const std::vector<Split> splits = parseFlags(index.flags[code()]).splits;
    if (selectedSplit >= 0 && selectedSplit < static_cast<int>(splits.size())) {
        splitDate = splits[selectedSplit].date;
        ratio = ratioText(splits[selectedSplit].ratio);
    } else {
        ratio.clear();
    }
}

bool DataEditor::refuseUnselectedOrProtected(Prompter& prompter) const {
    if (selectedCode.empty() || code() < 0) {
        prompter.message(kNotSelected);
        return true;
    }
    if (code() < kFirstUnprotectedCode) {
        prompter.message(kProtected);
        return true;
    }
    return false;
}

// The stored name loses its commas; a name made only of commas would leave
// the code unregistered, which for a change would silently drop the entry.
bool DataEditor::nameIsEmpty() const { return withoutCommas(name).empty(); }

void DataEditor::addEntry(Prompter& prompter) {
    if (refuseUnselectedOrProtected(prompter)) return;
    const int c = code();
    if (index.isRegistered(c)) {
        prompter.message("すでにindex.txtに登録されていいるコードです。index編集により操作を行ってください。");
        return;
    }
    if (nameIsEmpty()) return prompter.message(kNameMissing);
    // A character the file cannot hold would be stored as "?" bytes.
    if (!nameRefusal_.empty()) return prompter.message(nameRefusal_);
    if (unit.empty()) return prompter.message(kUnitMissing);
    if (market < 0 || market >= static_cast<int>(std::size(kMarketCodes)))
        return prompter.message("市場が選択されていません。");
    index.name[c] = name;
    index.market[c] = kMarketCodes[market].code;
    index.unit[c] = unitField(unit);
    index.flags[c] = composeFlags(n225, obs, a500, {});
    showEntry();
}

void DataEditor::changeEntry(Prompter& prompter) {
    if (refuseUnselectedOrProtected(prompter)) return;
    const int c = code();
    if (!index.isRegistered(c))
        return prompter.message("index.txtに登録されていないコードです。index追加により登録を行ってください。");
    if (nameIsEmpty()) return prompter.message(kNameMissing);
    if (!nameRefusal_.empty()) return prompter.message(nameRefusal_);
    if (unit.empty()) return prompter.message(kUnitMissing);
    index.name[c] = name;
    if (market >= 0 && market < static_cast<int>(std::size(kMarketCodes))) index.market[c] = kMarketCodes[market].code;
    index.unit[c] = unitField(unit);
    index.flags[c] = composeFlags(n225, obs, a500, parseFlags(index.flags[c]).splits);
    showEntry();
}

void DataEditor::deleteEntry(Prompter& prompter) {
    if (refuseUnselectedOrProtected(prompter)) return;
    const int c = code();
    if (!prompter.askYesNo(selectedCode + " " + cp932ToUtf8(index.name[c]) +
                           "\nをindex.txt銘柄情報から削除します、よろしいですか？（株価データは残ります）"))
        return;
    index.clearEntry(c);
    showEntry();
}

void DataEditor::addSplit(Prompter& prompter) {
    if (refuseUnselectedOrProtected(prompter)) return;
    const int c = code();
    if (!index.isRegistered(c))
        return prompter.message("未登録コードへの分割追加は行えません。先にindex追加を行ってください。");
    if (ratio.empty()) return prompter.message(kRatioMissing);
    const IndexFlags stored = parseFlags(index.flags[c]);
    std::vector<Split> splits = stored.splits;
    const Split added{splitDate, ratioValue(ratio)};
    const auto at = std::find_if(splits.begin(), splits.end(), [&](const Split& s) { return s.date > added.date; });
    splits.insert(at, added);
    storeSplits(stored, std::move(splits));
}

void DataEditor::changeSplit(Prompter& prompter) {
    if (refuseUnselectedOrProtected(prompter)) return;
    if (ratio.empty()) return prompter.message(kRatioMissing);
    const IndexFlags stored = parseFlags(index.flags[code()]);
    if (selectedSplit < 0 || selectedSplit >= static_cast<int>(stored.splits.size()))
        return prompter.message("編集する項目を選択してください。");
    std::vector<Split> splits = stored.splits;
    splits[selectedSplit] = Split{splitDate, ratioValue(ratio)};
    std::stable_sort(splits.begin(), splits.end(), [](const Split& a, const Split& b) { return a.date < b.date; });
    storeSplits(stored, std::move(splits));
}

void DataEditor::deleteSplit(Prompter& prompter) {
    if (refuseUnselectedOrProtected(prompter)) return;
    const IndexFlags stored = parseFlags(index.flags[code()]);
    if (selectedSplit < 0 || selectedSplit >= static_cast<int>(stored.splits.size()))
        return prompter.message("削除する項目を選択してください。");
    std::vector<Split> splits = stored.splits;
    splits.erase(splits.begin() + selectedSplit);
    storeSplits(stored, std::move(splits));
}

// Split commands keep the stored N225/OBS/A500 marks, not the tick boxes.
void DataEditor::storeSplits(const IndexFlags& stored, std::vector<Split> splits) {
    index.flags[code()] = composeFlags(stored.n225, stored.obs, stored.a500, splits);
    ratio.clear();
    refillSplitLines();
    showEntry();
}

void DataEditor::loadPrices() {
    if (code() < 0) {
        prices.reset();
        return;
    }
    prices.load(layout::dataFile(app_, code()));
}

bool DataEditor::save(Prompter& prompter, bool closeAfter) {
    const Prompter::Answer answer =
        prompter.askYesNoCancel("編集済みのデータをindex.txtに反映させます。\nindex.txtを上書きしますか？");
    if (answer == Prompter::Answer::Cancel) return false;
    if (answer == Prompter::Answer::Yes) {
        AtomicFileWriter writer(layout::indexFile(app_));
        if (!writer.open()) {
            prompter.message(kIndexOpenFailed);
            return false;
        }
        prompter.message(
            "index.txtを日付0000/00/00で上書きします。上書きしたindex.txtはSorvantideを再起動するまで反映しません。\n"
            "最新のindex.txtに戻したい場合はSorvantideよりインデックスファイルのダウンロードを行ってください。");
        // A failed write keeps the old file; say so rather than go on as if saved.
        if (!writer.write(writeIndexTable(index, 0)) || !writer.commit()) {
            prompter.message(kIndexOpenFailed);
            return false;
        }
    }
    if (!prices.loaded || !prompter.askYesNo("株価データを上書きしますか？")) return false;
    return prices.save(layout::dataFile(app_, code()), prompter) && closeAfter;
}

void DataEditor::showEntry() {
    const int c = code();
    if (c < 0) return;
    index.name[c] = withoutCommas(index.name[c]);
    if (!index.isRegistered(c)) {
        statusText = "index.txt未登録銘柄";
        return;
    }
    std::string line = selectedCode + "," + index.name[c] + "," + index.market[c] + "," + index.unit[c];
    if (!index.flags[c].empty()) line += "," + index.flags[c];
    statusText = cp932ToUtf8(line);
}

void DataEditor::refillSplitLines() {
    splitLines.clear();
    selectedSplit = -1;
    const int c = code();
    if (c < 0) return;
    for (const Split& s : parseFlags(index.flags[c]).splits) splitLines.push_back(splitText(s));
}

}  // namespace quarlink
