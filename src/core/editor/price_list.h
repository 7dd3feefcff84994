#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/store/price_series.h"
#include "core/env/prompter.h"

namespace quarlink {

// The editor's price list: the rows of one price file as texts, newest first,
// plus the date picker and the seven value boxes that feed Add and Change.
// Nothing reaches the file before save().
class PriceList {
public:
    static constexpr int kColumnCount = 8;
    static constexpr int kValueCount = 7;
    static constexpr const char* kNotLoaded = "株価データが読み込まれていません。Load..で読み込んでください。";
    using Row = std::array<std::string, kColumnCount>;  // "%04d/%02d/%02d", then "%d" values

    // Column titles in list order (UTF-8); the value boxes carry titles 1..7.
    static const std::array<const char*, kColumnCount>& columnTitles();

    std::vector<Row> rows;
    int selectedRow = -1;                        // -1: none
    std::int32_t date = 0;                       // the price date picker, YYYYMMDD
    std::array<std::string, kValueCount> values; // the value boxes, digits as typed
    bool loaded = false;                         // the price-loaded flag

    // Bumped whenever `rows` changes, so that a view refills only when needed.
    unsigned revision() const { return revision_; }

    // Empties the list and clears the loaded flag (filter, code selection).
    void reset();

    // Fills the list from the file, newest first. A file that cannot be read
    // leaves the list empty and the flag cleared, so that an empty list is
    // never offered for saving over a file that was never read.
    void load(const std::filesystem::path& file);

    // Copies the selected row into the picker and the value boxes.
    void pickRow();
    void addRow(Prompter& prompter);
    void changeRow(Prompter& prompter);
    void deleteRow();

    // The rows as records, bottom row first (ascending file order).
    PriceSeries toSeries() const;

    // Replaces the file with the rows atomically; on failure the old file
    // stays and the user is told. Returns true when written.
    bool save(const std::filesystem::path& file, Prompter& prompter) const;

    static Row rowFor(const PriceRecord& record);
    static std::string dateText(std::int32_t date);
    // Column 0 with "/" removed, read as a number.
    static std::int32_t dateOf(const std::string& dateText);

private:
    // True (after a message) when the boxes may not become a row: nothing
    // loaded, or a number beyond what the file holds.
    bool refuseBoxes(Prompter& prompter) const;
    Row rowFromBoxes() const;
    bool hasSelection() const { return selectedRow >= 0 && selectedRow < static_cast<int>(rows.size()); }

    unsigned revision_ = 0;
};

}  // namespace quarlink
