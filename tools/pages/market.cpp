#include "market.h"

#include <algorithm>
#include <cstdlib>

#include "core/store/atomic_file.h"
#include "core/store/price_file.h"

namespace quarlink::pages {

const PriceSeries* Market::find(int code) const {
    const auto it = series.find(code);
    return it == series.end() ? nullptr : &it->second;
}

bool loadMarket(const std::filesystem::path& dir, Market& market, std::string& error) {
    if (!readWholeFile(dir / "index.txt", market.indexBytes, &error)) {
        error = "cannot read " + (dir / "index.txt").string() + ": " + error;
        return false;
    }
    readIndexTable(market.indexBytes, market.index);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "data", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != 4 || name.find_first_not_of("0123456789") != std::string::npos) continue;
        PriceSeries rows;
        if (!loadPriceFile(entry.path(), rows)) continue;
        for (const auto& row : rows.rows) market.lastDay = std::max(market.lastDay, row.date);
        market.series.emplace(std::atoi(name.c_str()), std::move(rows));
    }
    if (ec) {
        error = "cannot read " + (dir / "data").string() + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace quarlink::pages
