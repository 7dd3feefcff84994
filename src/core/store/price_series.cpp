#include "core/store/price_series.h"

#include <algorithm>
#include <unordered_map>

namespace quarlink {

PriceSeries parsePriceSeries(std::string_view bytes) {
    PriceSeries series;
    const std::size_t whole = bytes.size() / kRecordSize;
    series.rows.reserve(whole);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < whole; ++i) {
        const PriceRecord r = decodeRecord(p + i * kRecordSize);
        if (r.date == kEndOfFileDate) break;
        series.rows.push_back(r);
    }
    return series;
}

PriceSeries parseAllRecords(std::string_view bytes) {
    PriceSeries series;
    const std::size_t whole = bytes.size() / kRecordSize;
    series.rows.resize(whole);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < whole; ++i) series.rows[i] = decodeRecord(p + i * kRecordSize);
    return series;
}

std::string serializePriceSeries(const PriceSeries& series) {
    std::string out(series.rows.size() * kRecordSize, '\0');
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    for (std::size_t i = 0; i < series.rows.size(); ++i) encodeRecord(series.rows[i], p + i * kRecordSize);
    return out;
}

std::string rewrittenImage(const PriceSeries& series, std::string_view old) {
    std::string out = serializePriceSeries(series);
    const std::size_t wholeEnd = old.size() / kRecordSize * kRecordSize;
    if (wholeEnd > out.size()) out.append(old.substr(out.size(), wholeEnd - out.size()));
    return out;
}

void sortByDate(PriceSeries& series) {
    auto& rows = series.rows;
    if (std::is_sorted(rows.begin(), rows.end(),
                       [](const PriceRecord& a, const PriceRecord& b) { return a.date < b.date; }))
        return;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const PriceRecord& a, const PriceRecord& b) { return a.date < b.date; });
}

namespace {

bool strictlyAscending(const std::vector<PriceRecord>& rows) {
    return std::adjacent_find(rows.begin(), rows.end(), [](const PriceRecord& a, const PriceRecord& b) {
               return a.date >= b.date;
           }) == rows.end();
}

bool ascending(const std::vector<PriceRecord>& rows) {
    return std::is_sorted(rows.begin(), rows.end(),
                          [](const PriceRecord& a, const PriceRecord& b) { return a.date < b.date; });
}

// The usual case, a file and a source both in date order: one pass, with the
// same result as the general merge (a source date met again replaces the row
// it produced when overwriting, and is skipped otherwise).
void mergeOrdered(PriceSeries& target, const PriceSeries& source, bool overwrite) {
    const auto& a = target.rows;
    const auto& b = source.rows;
    std::vector<PriceRecord> out;
    out.reserve(a.size() + b.size());
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && a[i].date < b[j].date)) {
            out.push_back(a[i++]);
            continue;
        }
        // A run of source rows of one date.
        const std::int32_t date = b[j].date;
        std::size_t end = j;
        while (end < b.size() && b[end].date == date) ++end;
        const PriceRecord& chosen = overwrite ? b[end - 1] : b[j];
        if (i < a.size() && a[i].date == date) {
            out.push_back(overwrite ? chosen : a[i]);
            ++i;
        } else {
            out.push_back(chosen);
        }
        j = end;
    }
    target.rows = std::move(out);
}

}  // namespace

void mergeSeries(PriceSeries& target, const PriceSeries& source, bool overwrite) {
    if (strictlyAscending(target.rows) && ascending(source.rows)) {
        mergeOrdered(target, source, overwrite);
        return;
    }
    auto& rows = target.rows;
    std::unordered_map<std::int32_t, std::size_t> rowOfDate;
    rowOfDate.reserve(rows.size() + source.rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) rowOfDate.emplace(rows[i].date, i);  // keeps the first
    rows.reserve(rows.size() + source.rows.size());
    for (const PriceRecord& r : source.rows) {
        const auto [it, inserted] = rowOfDate.emplace(r.date, rows.size());
        if (inserted)
            rows.push_back(r);
        else if (overwrite)
            rows[it->second] = r;
    }
    sortByDate(target);
}

}  // namespace quarlink
