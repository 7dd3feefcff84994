#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace quarlink {

// atoi-like: optional blanks, an optional sign, then digits; stops at the
// first other character; 0 when there are no digits. Saturates instead of
// overflowing.
std::int64_t leadingInteger(std::string_view text);

// A whole decimal number of 1 to `maxDigits` digits and nothing else (no
// sign, no blanks); nullopt for anything else.
std::optional<long> wholeNumber(std::string_view text, std::size_t maxDigits);

// Only the leading decimal digits (no blanks, no sign); 0 when none.
std::int64_t leadingDigits(std::string_view text);

// atof-like: the decimal number at the start of the text, 0 when none.
double leadingDecimal(std::string_view text);

// printf with one integer, for the fixed status and message patterns.
std::string formatInt(const char* pattern, int value);

// `format` with each "%s" replaced by the next of `parts` (the texts of the
// J-Quants jobs, whose parts are dates and counts already written out).
std::string fillIn(std::string_view format, std::initializer_list<std::string> parts);

// A count with commas between thousands: 19,600.
std::string grouped(std::size_t n);

// A YYYYMMDD date as "%04d/%02d/%02d", the one form every window shows.
std::string slashDate(std::int32_t yyyymmdd);

// Clamps to the 32-bit signed range.
std::int32_t clampToInt32(std::int64_t value);

// The nearest whole number, halves up, clamped to the 32-bit range: how a
// served decimal (a J-Quants price or volume) is stored.
std::int32_t roundToWhole(double value);

}  // namespace quarlink
