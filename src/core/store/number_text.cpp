#include "core/store/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace quarlink {
namespace {

constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 10;

std::int64_t digitsFrom(std::string_view text, std::size_t i) {
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (value < kLimit) value = value * 10 + (text[i] - '0');
    return value;
}

}  // namespace

std::optional<long> wholeNumber(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::int64_t leadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::int64_t value = digitsFrom(text, i);
    return negative ? -value : value;
}

std::int64_t leadingDigits(std::string_view text) { return digitsFrom(text, 0); }

double leadingDecimal(std::string_view text) {
    // from_chars ignores the locale, unlike strtod under a GUI's setlocale.
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    double value = 0;
    const auto res = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (res.ec == std::errc::result_out_of_range) return 0;
    return res.ec == std::errc() ? value : 0;
}

std::string formatInt(const char* pattern, int value) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::int32_t clampToInt32(std::int64_t value) {
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::int32_t roundToWhole(double value) { return clampToInt32(static_cast<std::int64_t>(std::floor(value + 0.5))); }

std::string slashDate(std::int32_t yyyymmdd) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100);
    return text;
}

std::string fillIn(std::string_view format, std::initializer_list<std::string> parts) {
    std::string out;
    auto part = parts.begin();
    for (std::size_t at = 0; at < format.size(); ++at) {
        if (format.compare(at, 2, "%s") == 0 && part != parts.end()) {
            out += *part++;
            ++at;
        } else {
            out += format[at];
        }
    }
    return out;
}

std::string grouped(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace quarlink
