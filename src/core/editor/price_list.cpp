#include "core/editor/price_list.h"

#include <limits>

#include <cstdio>

#include "core/store/number_text.h"
#include "core/store/price_file.h"
#include "core/store/text_encoding.h"

namespace quarlink {

const std::array<const char*, PriceList::kColumnCount>& PriceList::columnTitles() {
    static const std::array<const char*, kColumnCount> titles = {
        "日付", "始値", "高値", "安値", "終値", "出来高", "信用買残", "信用売残",
    };
    return titles;
}

void PriceList::reset() {
    rows.clear();
    selectedRow = -1;
    loaded = false;
    ++revision_;
}

void PriceList::load(const std::filesystem::path& file) {
    rows.clear();
    selectedRow = -1;
    ++revision_;
    PriceSeries series;
    if (!loadPriceFile(file, series)) {
        loaded = false;
        return;
    }
    loaded = true;
    rows.reserve(series.size());
    for (auto it = series.rows.rbegin(); it != series.rows.rend(); ++it) rows.push_back(rowFor(*it));
}

void PriceList::pickRow() {
    if (!hasSelection()) return;
    const Row& row = rows[selectedRow];
    date = dateOf(row[0]);
    for (int i = 0; i < kValueCount; ++i) values[i] = row[i + 1];
}

bool PriceList::refuseBoxes(Prompter& prompter) const {
    // Before Load.. there is no list to save, so an edit would be lost without a word.
    if (!loaded) {
        prompter.message(kNotLoaded);
        return true;
    }
    for (int i = 0; i < kValueCount; ++i) {
        // A price record holds 32-bit numbers: more is refused, never cut down.
        if (leadingInteger(values[i]) > std::numeric_limits<std::int32_t>::max()) {
            prompter.message(std::string(columnTitles()[i + 1]) + "は0から2147483647までの数で入力してください。");
            return true;
        }
    }
    return false;
}

void PriceList::addRow(Prompter& prompter) {
    for (int i = 0; i < kValueCount; ++i) {
        if (values[i].empty()) {
            prompter.message(std::string(columnTitles()[i + 1]) + "が選択されていません。");
            return;
        }
    }
    if (refuseBoxes(prompter)) return;
    std::size_t at = 0;
    while (at < rows.size() && dateOf(rows[at][0]) >= date) ++at;
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), rowFromBoxes());
    if (selectedRow >= static_cast<int>(at)) ++selectedRow;
    ++revision_;
}

void PriceList::changeRow(Prompter& prompter) {
    if (!hasSelection() || refuseBoxes(prompter)) return;
    rows[selectedRow] = rowFromBoxes();
    ++revision_;
}

void PriceList::deleteRow() {
    if (!hasSelection()) return;
    rows.erase(rows.begin() + selectedRow);
    selectedRow = -1;
    ++revision_;
}

PriceSeries PriceList::toSeries() const {
    PriceSeries series;
    series.rows.reserve(rows.size());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        PriceRecord r;
        r.date = dateOf((*it)[0]);
        std::int32_t* fields[] = {&r.open, &r.high, &r.low, &r.close, &r.volume, &r.marginBuy, &r.marginSell};
        for (int i = 0; i < kValueCount; ++i) *fields[i] = clampToInt32(leadingInteger((*it)[i + 1]));
        series.append(r);
    }
    return series;
}

bool PriceList::save(const std::filesystem::path& file, Prompter& prompter) const {
    if (writePriceFile(file, toSeries())) return true;
    prompter.message("株価ファイルが開けません。ファイルが破損した恐れがあります。");
    return false;
}

PriceList::Row PriceList::rowFor(const PriceRecord& r) {
    Row row;
    row[0] = dateText(r.date);
    const std::int32_t fields[] = {r.open, r.high, r.low, r.close, r.volume, r.marginBuy, r.marginSell};
    for (int i = 0; i < kValueCount; ++i) row[i + 1] = std::to_string(fields[i]);
    return row;
}

std::string PriceList::dateText(std::int32_t date) { return slashDate(date); }

std::int32_t PriceList::dateOf(const std::string& dateText) {
    std::string digits;
    for (char c : dateText)
        if (c != '/') digits.push_back(c);
    return clampToInt32(leadingInteger(digits));
}

PriceList::Row PriceList::rowFromBoxes() const {
    Row row;
    row[0] = dateText(date);
    for (int i = 0; i < kValueCount; ++i) row[i + 1] = values[i];
    return row;
}

}  // namespace quarlink
