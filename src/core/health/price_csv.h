#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/price_record.h"

namespace quarlink {

inline constexpr const char* kPriceCsvHeader = "date,open,high,low,close,volume,margin_sell,margin_buy";

// The CSV of a price file image: the header, then one line per whole record
// in file order, the date as YYYY-MM-DD and the values as stored (indices in
// hundredths). A record dated -1, which hides the records after it from the
// chart program, is written too, with -1 as its date, so that an import of
// the CSV gives the same file back. With `from` or `to` (0: no bound) only
// the records dated within them are written.
std::string priceCsv(std::string_view image, std::int32_t from = 0, std::int32_t to = 0);
// The same appended to `out`, whose room a caller can keep between files.
void appendPriceCsv(std::string& out, std::string_view image, std::int32_t from = 0, std::int32_t to = 0);

// The longest CSV line an import reads; a row of eight values needs under
// 200 bytes. A longer line is refused by its number without being held whole.
inline constexpr std::size_t kMaxCsvLineBytes = 4096;

// Rows read from a CSV for import, every one validated.
struct CsvImport {
    std::vector<PriceRecord> rows;  // in the file's order, dated -1 ones included
    bool hasMargins = false;        // false: the margin balances are to be carried from the price file
    std::string error;              // the first bad line, named; empty when every row is good
};

// Reads a CSV with the header kPriceCsvHeader, or with the columns
// Date,Open,High,Low,Close,Volume of common downloads (any case, any order;
// margin_sell and margin_buy both or neither). Dates YYYY-MM-DD, YYYY/MM/DD
// or YYYYMMDD; values whole numbers (a decimal is rounded to the nearest),
// optionally quoted with thousands separators. A row is refused for a value
// that is not a number, a date that is not a calendar date, after `today`
// or met twice, a negative value, or prices that contradict each other.
// Blank lines are skipped; a UTF-8 byte order mark is ignored. A row dated
// -1 (as export writes it) is taken as it stands, its values any numbers.
// Lines over kMaxCsvLineBytes and more rows than a price file can hold are
// refused. Bytes of the file quoted in `error` pass through echoText().
CsvImport parsePriceCsv(std::string_view text, std::int32_t today);

// The same from a file, read line by line so that memory stays bounded
// whatever it holds: a regular file of at most 512 MB. False when it cannot
// be read (`error` says why); a refused row is in `csv.error`.
bool readPriceCsvFile(const std::filesystem::path& path, std::int32_t today, CsvImport& csv, std::string* error);

// What an import does to a price file.
struct ImportResult {
    std::string image;  // the new file image
    int added = 0, replaced = 0, kept = 0;
};

// Merges the rows into the file image as the store's merge does; with
// `overwrite` the CSV's values win for days present in both. Rows without
// margin balances take the file's balances of that day, else of the
// nearest earlier day. A row dated -1 stands after the dated row it follows
// in the CSV (first when none does) and takes the place of an identical
// record of the file; the file's other records dated -1 go last, as in
// every merge. Counted in `added`, `replaced` and `kept` like the days.
ImportResult importPriceCsv(std::string_view existingImage, const CsvImport& csv, bool overwrite);

// Writes the CSV of a price file (all dates) to `csv`, replacing it whole.
bool exportPriceCsvFile(const std::filesystem::path& priceFile, const std::filesystem::path& csv,
                        std::string* error = nullptr);

struct FolderExport {
    int written = 0;
    std::vector<std::string> failures;  // one text per file not written
};

// Writes each code's price file as `out`/NNNN.csv through one batch: every
// file appears whole, and all of them are on disk when this returns.
FolderExport exportPriceCsvFolder(const std::filesystem::path& dataFolder, const std::vector<int>& codes,
                                  std::int32_t from, std::int32_t to, const std::filesystem::path& out);

}  // namespace quarlink
