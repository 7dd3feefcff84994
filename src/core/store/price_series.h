#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/price_record.h"

namespace quarlink {

// The in-memory table of one price file, oldest first once sorted.
class PriceSeries {
public:
    std::vector<PriceRecord> rows;

    std::size_t size() const { return rows.size(); }
    bool empty() const { return rows.empty(); }
    void append(const PriceRecord& r) { rows.push_back(r); }
    const PriceRecord& operator[](std::size_t i) const { return rows[i]; }
    PriceRecord& operator[](std::size_t i) { return rows[i]; }
};

// Reads records from the start of `bytes` until a record with date -1 or the
// end of the whole records; a trailing partial record is ignored.
PriceSeries parsePriceSeries(std::string_view bytes);

// Every whole record of `bytes`, date -1 or not: the jobs that rewrite a
// file keep what they cannot read as well as what they can.
PriceSeries parseAllRecords(std::string_view bytes);

// The file image of the rows, in table order.
std::string serializePriceSeries(const PriceSeries& series);

// The file image after rewriting `series` from byte 0 over a file that held
// `old`, truncating nothing: whole records beyond the rows (ones a reader
// stopped short of, after a date -1) stay where they were; a trailing partial
// record is dropped.
std::string rewrittenImage(const PriceSeries& series, std::string_view old);

// Orders rows ascending by date; rows of equal date keep their order.
void sortByDate(PriceSeries& series);

// Merges `source` into `target`: a source row whose date is already in the
// table (the first such row) replaces it when `overwrite`, else is skipped;
// a new date is appended. Rows are never removed. Then sorts by date.
// O((n + m) log(n + m)).
void mergeSeries(PriceSeries& target, const PriceSeries& source, bool overwrite);

}  // namespace quarlink
