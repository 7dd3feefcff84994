#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "core/web/jquants/jquants_types.h"

namespace quarlink::jquants {

// No limit on the rows of a query.
inline constexpr std::size_t kAnyRows = static_cast<std::size_t>(-1);

// One page's rows appended to `into`. False when the body is not a JSON
// object with a `data` array of row objects, or when a row cannot be what it
// stands for: a missing field, a number or date that cannot be read, a price
// that cannot be one (negative, high below low, open or close outside
// low..high), a value the stored record cannot hold, or more rows in `into`
// than `maxRows`. `why` then names the code, the field and the value, and
// `into` is left as it was. Rows of codes that are not ordinary shares are
// skipped and counted in `otherCodes`; a number served as a string of a
// number is that number. `nextKey` is the page's pagination_key, empty on
// the last page. The page is read a slice of rows at a time: besides the
// body, reading takes about a megabyte.
bool parseCalendarPage(std::string_view body, Calendar& into, std::string& nextKey, std::string* why = nullptr,
                       std::size_t maxRows = kAnyRows);
bool parseDailyBarsPage(std::string_view body, DailyBars& into, std::string& nextKey, std::string* why = nullptr,
                        std::size_t maxRows = kAnyRows);
bool parseMarginPage(std::string_view body, MarginBalances& into, std::string& nextKey, std::string* why = nullptr,
                     std::size_t maxRows = kAnyRows);
// TOPIX: stored in hundredths.
bool parseIndexPage(std::string_view body, IndexBars& into, std::string& nextKey, std::string* why = nullptr,
                    std::size_t maxRows = kAnyRows);
bool parseMasterPage(std::string_view body, ListedMaster& into, std::string& nextKey, std::string* why = nullptr,
                     std::size_t maxRows = kAnyRows);

// The `message` of an error body, empty when there is none.
std::string errorMessage(std::string_view body);

// "YYYY-MM-DD" or "YYYYMMDD" -> YYYYMMDD; 0 when not a valid calendar date.
std::int32_t parseDate(std::string_view text);
std::string isoDate(std::int32_t yyyymmdd);

}  // namespace quarlink::jquants
