#pragma once
#include <string>
#include <string_view>

#include "web/jquants/jquants_types.h"

namespace quarlink::jquants {

// One page's body appended to `into`. False when the body is not a JSON
// object with a `data` array (an unrecognised page); rows are then untouched.
// `nextKey` is the page's pagination_key, empty when it is the last page.
bool parseCalendarPage(std::string_view body, Calendar& into, std::string& nextKey);
bool parseDailyBarsPage(std::string_view body, DailyBars& into, std::string& nextKey);
bool parseMarginPage(std::string_view body, MarginBalances& into, std::string& nextKey);
bool parseIndexPage(std::string_view body, IndexBars& into, std::string& nextKey);
bool parseMasterPage(std::string_view body, ListedMaster& into, std::string& nextKey);

// The `message` of an error body, empty when there is none.
std::string errorMessage(std::string_view body);

// "YYYY-MM-DD" or "YYYYMMDD" -> YYYYMMDD; 0 when not a valid calendar date.
std::int32_t parseDate(std::string_view text);
std::string isoDate(std::int32_t yyyymmdd);

}  // namespace quarlink::jquants
