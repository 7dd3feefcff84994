#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/store/price_record.h"

namespace quarlink::pages {

// Every page form the server answers with, in EUC-JP, with the markers in the
// order the readers look for them. `broken` drops one marker of the form.

// No trade on the market's last day when `record` is null.
std::string yahooQuotePage(int code, const PriceRecord* record, std::int32_t lastDay, bool index, bool broken);
std::string yahooNoSuchCodePage();

// `margin`: the latest record with balances, or null.
std::string infoSeekPage(long number, const PriceRecord* record, std::int32_t lastDay, bool index,
                         const PriceRecord* margin, bool broken);
std::string infoSeekNoSuchCodePage(long number);

// Rows newest first.
std::string priceTablePage(const std::vector<PriceRecord>& rows, bool index, bool broken);
std::string priceTableEmptyPage();
std::string priceTableNoSuchCodePage(long number);

std::string marginTablePage(const std::vector<PriceRecord>& rows, bool broken);
std::string marginTableEmptyPage();
std::string marginTableNoSuchCodePage();

// 1234567 -> "1,234,567"; with `twoDecimals` 1612345 -> "16,123.45".
std::string groupedNumber(std::int64_t value, bool twoDecimals = false);

}  // namespace quarlink::pages
