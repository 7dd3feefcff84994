#include "core/web/page_cursor.h"

#include <cstdio>

#include "core/store/number_text.h"

namespace quarlink {

bool PageCursor::skipPast(std::string_view marker) {
    const std::size_t at = rest_.find(marker);
    if (at == std::string_view::npos) return false;
    rest_.remove_prefix(at + marker.size());
    return true;
}

bool PageCursor::takeUpTo(std::string_view marker, std::string_view& value) {
    const std::size_t at = rest_.find(marker);
    if (at == std::string_view::npos) return false;
    value = rest_.substr(0, at);
    rest_.remove_prefix(at + marker.size());
    return true;
}

namespace {

std::int32_t readWithout(std::string_view text, std::string_view removed) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text)
        if (removed.find(c) == std::string_view::npos) kept.push_back(c);
    return clampToInt32(leadingInteger(kept));
}

}  // namespace

std::int32_t readPriceNumber(std::string_view text) { return readWithout(text, ",."); }
std::int32_t readVolumeNumber(std::string_view text) { return readWithout(text, ","); }

std::int32_t composeDate(std::int64_t year, std::int64_t month, std::int64_t day, bool zeroPadYear) {
    // Formatted and re-read like the page dates always were, so that odd
    // values give the same number as before; the int64 range keeps it bounded.
    char text[80];
    std::snprintf(text, sizeof text, zeroPadYear ? "%04lld%02lld%02lld" : "%4lld%02lld%02lld",
                  static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day));
    return clampToInt32(leadingInteger(text));
}

}  // namespace quarlink
