#include "core/store/index_flags.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/store/number_text.h"

namespace quarlink {

IndexFlags parseFlags(std::string_view text) {
    IndexFlags flags;
    flags.n225 = text.find("N225") != std::string_view::npos;
    flags.obs = text.find("OBS") != std::string_view::npos;
    flags.a500 = text.find("A500") != std::string_view::npos;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t comma = text.find(',', pos);
        std::string_view token = text.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        pos = comma == std::string_view::npos ? text.size() : comma + 1;
        if (token.empty() || token.front() != 'S') continue;
        token.remove_prefix(std::min<std::size_t>(2, token.size()));
        Split split;
        split.date = clampToInt32(leadingInteger(token.substr(0, 8)));
        token.remove_prefix(std::min<std::size_t>(9, token.size()));
        split.ratio = leadingDecimal(token);
        flags.splits.push_back(split);
    }
    return flags;
}

std::string composeFlags(bool n225, bool obs, bool a500, const std::vector<Split>& splits) {
    std::string text;
    if (n225) text += ",N225";
    if (obs) text += ",OBS";
    if (a500) text += ",A500";
    for (const Split& s : splits) {
        // to_chars is "%g" without the locale's decimal separator.
        char ratio[64];
        const auto res = std::to_chars(ratio, ratio + sizeof ratio, s.ratio, std::chars_format::general, 6);
        text += ",S:" + std::to_string(s.date) + ":" + std::string(ratio, res.ptr);
    }
    if (!text.empty()) text.erase(0, 1);
    return text;
}

int adjustForSplits(const IndexTable& table, int code, PriceSeries& series) {
    if (code < 0 || code >= kCodeCount) return -2;
    if (table.flags[code].empty()) return -1;
    const IndexFlags flags = parseFlags(table.flags[code]);
    auto divide = [](std::int32_t& value, double ratio) {
        const double q = std::trunc(static_cast<double>(value) / ratio);
        if (q >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
            value = std::numeric_limits<std::int32_t>::max();
        else if (q <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
            value = std::numeric_limits<std::int32_t>::min();
        else
            value = static_cast<std::int32_t>(q);
    };
    for (PriceRecord& r : series.rows) {
        for (const Split& s : flags.splits) {
            if (s.ratio == 0 || !std::isfinite(s.ratio)) continue;
            if (r.date < s.date) {
                divide(r.open, s.ratio);
                divide(r.high, s.ratio);
                divide(r.low, s.ratio);
                divide(r.close, s.ratio);
            }
        }
    }
    return 0;
}

int marketIndex(std::string_view marketCode) {
    for (int i = 0; i < static_cast<int>(std::size(kMarketCodes)); ++i)
        if (marketCode == kMarketCodes[i].code) return i;
    return -1;
}

std::string splitText(const Split& split) {
    char ratio[64];
    std::snprintf(ratio, sizeof ratio, "%g", split.ratio);
    return slashDate(split.date) + " → " + ratio + "分割";
}

}  // namespace quarlink
