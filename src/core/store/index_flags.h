#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/index_table.h"
#include "core/store/price_series.h"

namespace quarlink {

struct Split {
    std::int32_t date = 0;
    double ratio = 0;
    friend bool operator==(const Split&, const Split&) = default;
};

// "YYYY/MM/DD → R分割", as the editor and the index update list a split.
std::string splitText(const Split& split);

struct IndexFlags {
    bool n225 = false;
    bool obs = false;
    bool a500 = false;
    std::vector<Split> splits;  // in token order
};

IndexFlags parseFlags(std::string_view flagsText);

// "N225", "OBS", "A500" when set, then ",S:%d:%g" per split in list order.
std::string composeFlags(bool n225, bool obs, bool a500, const std::vector<Split>& splits);
inline std::string composeFlags(const IndexFlags& f) { return composeFlags(f.n225, f.obs, f.a500, f.splits); }

// Divides open, high, low and close of every row dated before a split by its
// ratio, truncating after each split. Returns -2 for a code outside 0..9999,
// -1 when the code has no flags, else 0. A ratio of 0 or one that is not a
// finite number is skipped; results are kept inside the 32-bit range.
int adjustForSplits(const IndexTable& table, int code, PriceSeries& series);

// The market selector of the editor and the display names of the lists.
struct MarketCode {
    const char* code;
    const char* displayName;  // UTF-8
};
inline constexpr MarketCode kMarketCodes[] = {
    {"T1", "東証１部"}, {"T2", "東証２部"}, {"M", "マザーズ"},      {"O1", "大証１部"},
    {"O2", "大証２部"}, {"H", "ヘラクレス"}, {"J", "ジャスダック"},
};
// Selection index 0..6 of a market code, -1 for any other value.
int marketIndex(std::string_view marketCode);

}  // namespace quarlink
