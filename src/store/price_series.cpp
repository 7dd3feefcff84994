#include "store/price_series.h"

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

std::string serializePriceSeries(const PriceSeries& series) {
    std::string out(series.rows.size() * kRecordSize, '\0');
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    for (std::size_t i = 0; i < series.rows.size(); ++i) encodeRecord(series.rows[i], p + i * kRecordSize);
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

void mergeSeries(PriceSeries& target, const PriceSeries& source, bool overwrite) {
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
