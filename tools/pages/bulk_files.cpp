#include "bulk_files.h"

#include <chrono>
#include <cstdio>
#include <zlib.h>

#include "core/env/date.h"

namespace quarlink::pages::bulk {

namespace {

constexpr DatasetInfo kInfo[] = {{Dataset::Bars, "/equities/bars/daily", 1},
                                 {Dataset::Topix, "/indices/bars/daily/topix", 1},
                                 {Dataset::Margin, "/markets/margin-interest", 2},
                                 {Dataset::Calendar, "/markets/calendar", 0}};

std::chrono::sys_days daysOf(std::int32_t d) {
    using namespace std::chrono;
    return year{d / 10000} / month{unsigned(d / 100 % 100)} / day{unsigned(d % 100)};
}
std::int32_t dateOf(std::chrono::year_month_day ymd) {
    return int(ymd.year()) * 10000 + int(unsigned(ymd.month())) * 100 + int(unsigned(ymd.day()));
}

bool digits(std::string_view text, std::size_t from, std::size_t count, int& out) {
    out = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

const DatasetInfo* datasetOf(std::string_view endpoint) {
    if (!endpoint.empty() && endpoint.front() == '/') endpoint.remove_prefix(1);
    for (const DatasetInfo& info : kInfo)
        if (endpoint == info.endpoint + 1) return &info;
    return nullptr;
}

const DatasetInfo* datasetOfKey(std::string_view key) {
    for (const DatasetInfo& info : kInfo) {
        const std::string_view prefix = info.endpoint + 1;
        if (key.size() > prefix.size() && key.substr(0, prefix.size()) == prefix && key[prefix.size()] == '/')
            return &info;
    }
    return nullptr;
}

const DatasetInfo& infoOf(Dataset dataset) { return kInfo[static_cast<int>(dataset)]; }

std::string keyOf(const File& file) {
    const std::string prefix = infoOf(file.dataset).endpoint + 1;
    std::string name = prefix;
    for (char& c : name)
        if (c == '/') c = '_';
    char tail[128];
    if (file.dataset == Dataset::Calendar)
        std::snprintf(tail, sizeof tail, "/%s_%d.csv.gz", name.c_str(), file.first);
    else if (file.historical)
        std::snprintf(tail, sizeof tail, "/historical/%d/%s_%d.csv.gz", file.first / 10000, name.c_str(), file.first / 100);
    else
        std::snprintf(tail, sizeof tail, "/live/%s_%d.csv.gz", name.c_str(), file.first);
    return prefix + tail;
}

std::int32_t postedOn(const File& file) { return file.historical ? addMonths(file.first, 1) : file.first; }

std::string lastModified(const File& file, int revision) {
    using namespace std::chrono;
    const sys_seconds at = daysOf(postedOn(file)) + hours(8 + revision);
    const auto day = floor<days>(at);
    const year_month_day ymd{day};
    const hh_mm_ss time{at - day};
    char out[32];
    std::snprintf(out, sizeof out, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()), int(time.hours().count()), int(time.minutes().count()),
                  int(time.seconds().count()));
    return out;
}

bool parseSpan(std::string_view text, std::int32_t& first, std::int32_t& last) {
    const std::size_t n = text.size();
    const bool dashed = n == 7 || n == 10, whole = n == 6 || n == 7;
    if (!(whole || n == 8 || n == 10) || (dashed && text[4] != '-') || (n == 10 && text[7] != '-')) return false;
    int y = 0, m = 0, d = 1;
    const std::size_t monthAt = dashed ? 5 : 4;
    if (!digits(text, 0, 4, y) || !digits(text, monthAt, 2, m) ||
        (!whole && !digits(text, monthAt + (dashed ? 3 : 2), 2, d)))
        return false;
    if (!validDate(y, m, d)) return false;
    first = y * 10000 + m * 100 + d;
    last = whole ? lastOfMonth(first) : first;
    return true;
}


std::int32_t addMonths(std::int32_t d, int months) {
    using namespace std::chrono;
    const year_month ym = year{d / 10000} / month{unsigned(d / 100 % 100)} + std::chrono::months(months);
    return dateOf(ym / 1);
}

std::string gzip(std::string_view text) {
    z_stream z{};
    // 16 + 15 window bits: a gzip wrapper; zlib writes no name and time 0 in it.
    if (deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return status == Z_STREAM_END ? out : std::string();
}

}  // namespace quarlink::pages::bulk
