#pragma once
#include <cstdint>

namespace quarlink {

// Calendar dates as YYYYMMDD numbers, the form the price files, the pages
// and the service's answers share. One rule says which are days.
bool validDate(int year, int month, int day);
bool validDate(std::int32_t yyyymmdd);
// On valid dates only.
std::int32_t addDays(std::int32_t yyyymmdd, int days);
std::int32_t lastOfMonth(std::int32_t yyyymmdd);
bool isWeekday(std::int32_t yyyymmdd);  // Monday to Friday

}  // namespace quarlink
