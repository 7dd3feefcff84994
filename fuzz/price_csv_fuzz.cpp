// Reads arbitrary bytes as a CSV to import: a refused file yields no rows and
// names a line in a short text without control characters; an accepted one
// yields only rows the check would pass (besides those dated -1, taken as
// they stand), and its export reads back as the same records.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/health/price_check.h"
#include "core/health/price_csv.h"
#include "core/store/price_series.h"

using namespace quarlink;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CsvImport csv = parsePriceCsv(text, 20991231);
    if (!csv.error.empty()) {
        check(csv.rows.empty());
        check(csv.error.size() < 512);
        for (const char c : csv.error) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        return 0;
    }
    for (const PriceRecord& r : csv.rows) {
        if (r.date == kEndOfFileDate) continue;
        check(isCalendarDate(r.date) && r.date <= 20991231);
        check(pricesConsistent(r));
        check(r.volume >= 0 && r.marginBuy >= 0 && r.marginSell >= 0);
    }
    const ImportResult imported = importPriceCsv({}, csv, false);
    check(imported.added == static_cast<int>(csv.rows.size()));
    const CsvImport again = parsePriceCsv(priceCsv(imported.image), 20991231);
    check(again.error.empty());
    check(importPriceCsv({}, again, false).image == imported.image);
    return 0;
}
