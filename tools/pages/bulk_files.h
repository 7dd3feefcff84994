#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace quarlink::pages::bulk {

enum class Dataset { Bars, Topix, Margin, Calendar };

struct DatasetInfo {
    Dataset dataset;
    const char* endpoint;  // as the API names it, with its leading slash
    int minPlan;           // 0 free, 1 light, 2 standard, 3 premium
};

// The datasets served as files, by endpoint with or without its leading
// slash, or by the prefix of a file's key; nullptr for any other.
const DatasetInfo* datasetOf(std::string_view endpoint);
const DatasetInfo* datasetOfKey(std::string_view key);
inline constexpr Dataset kDatasets[] = {Dataset::Bars, Dataset::Topix, Dataset::Margin, Dataset::Calendar};
const DatasetInfo& infoOf(Dataset dataset);

// A month before the current one (historical), a business day (live), or
// the calendar, whose one file is named after today.
struct File {
    Dataset dataset = Dataset::Bars;
    std::int32_t first = 0, last = 0;  // the days it covers
    bool historical = false;
};

std::string keyOf(const File& file);
// Files go up at 08:00Z on their day (a historical one: on the next month's
// first day); a revision is `revision` hours later.
std::string lastModified(const File& file, int revision);
// When the file went up, for ordering: YYYYMMDD.
std::int32_t postedOn(const File& file);

// "YYYY-MM", "YYYYMM", "YYYY-MM-DD" or "YYYYMMDD" -> the days it covers; false for anything else.
bool parseSpan(std::string_view text, std::int32_t& first, std::int32_t& last);
std::int32_t addMonths(std::int32_t yyyymmdd, int months);  // to the 1st of that month

// Deflate level 6 in a gzip wrapper with neither name nor time, so the same
// text gives the same bytes on every run.
std::string gzip(std::string_view text);

}  // namespace quarlink::pages::bulk
