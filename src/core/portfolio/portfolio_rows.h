#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarlink {

// A row of one of the portfolio CSV files: its column texts (Shift-JIS bytes).
using PortfolioRow = std::vector<std::string>;

inline constexpr std::size_t kPositionColumns = 14;
inline constexpr std::size_t kTradeColumns = 13;

// The lines of a text file without their line ends (LF or CR LF). Lines are
// taken whole, whatever their length, so a long name never splits a row.
std::vector<std::string> splitLines(std::string_view bytes);

// Exactly `count` fields cut at ","; text after the count-th comma is
// ignored, missing fields are empty, line-end characters are dropped.
PortfolioRow splitFields(std::string_view line, std::size_t count);

// A field as it may be written: "\n", "\r" and "," removed, so that every
// line keeps its field count.
std::string cleanField(std::string_view text);

// The fields joined by "," with a CR LF line end.
std::string joinFields(const PortfolioRow& row);

// A portfolio number that may name files: one or more decimal digits.
bool isPortfolioNumber(std::string_view number);

// The text as part of a file name: "/", NUL and control characters become "_".
std::string fileNamePart(std::string_view text);

// The numbers of the book: the leading integer of the text (optional sign),
// 0 for anything else, kept inside the 32-bit range.
std::int32_t fieldNumber(std::string_view text);

// An amount or profit as the book stores it: amounts are products of two
// 32-bit numbers and are kept whole, so they are read 64-bit (saturating).
std::int64_t amountNumber(std::string_view text);

// total += term, saturating instead of overflowing.
void addToTotal(std::int64_t& total, std::int64_t term);

// YYYYMMDD from a date text: its digits read without the "/".
std::int32_t fieldDate(std::string_view text);

// "%04d/%02d/%02d"
std::string formatDate(int year, int month, int day);

// A record date's "%d" text with "/" before its fifth and seventh digit.
std::string recordDateText(std::int32_t yyyymmdd);

// A fixed UTF-8 text as file bytes (Shift-JIS).
std::string sjis(std::string_view utf8);

// Orders rows ascending by one column, byte by byte (unsigned), keeping the
// order of equal texts. Returns the new position of each old row.
template <typename Row, typename Key>
std::vector<int> sortRowsBy(std::vector<Row>& rows, Key key);

}  // namespace quarlink

#include <algorithm>
#include <numeric>

namespace quarlink {

template <typename Row, typename Key>
std::vector<int> sortRowsBy(std::vector<Row>& rows, Key key) {
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        // std::string compares through char_traits<char>::compare, which is
        // memcmp: unsigned bytes.
        return std::string_view(key(rows[a])) < std::string_view(key(rows[b]));
    });
    std::vector<Row> sorted;
    sorted.reserve(rows.size());
    std::vector<int> newPosition(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newPosition[order[i]] = static_cast<int>(i);
        sorted.push_back(std::move(rows[order[i]]));
    }
    rows = std::move(sorted);
    return newPosition;
}

}  // namespace quarlink
