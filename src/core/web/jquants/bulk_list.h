#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/web/jquants/jquants_types.h"

namespace quarlink::jquants {

// Why `key` cannot be a listed file's key (it is a path the download names
// and callers may store under): empty, too long, absolute, climbing ("..")
// or holding control bytes. nullptr when it can.
const char* bulkKeyProblem(std::string_view key);

// One page of /bulk/list appended to `into`: `{"data":[{"Key":..,
// "LastModified":..,"Size":..}],"pagination_key":..}`. Size is a whole
// number of bytes, served as a number or a string of one. False, with `why`
// naming the file and the field, for anything else, and `into` is left as it
// was.
bool parseBulkListPage(std::string_view body, BulkFiles& into, std::string& nextKey, std::string* why = nullptr,
                       std::size_t maxRows = static_cast<std::size_t>(-1));

// The days a listed file holds, by the stamp its name ends with: a month
// (YYYYMM, historical: `month`, first..last its days) or a day (YYYYMMDD,
// live). False for a name that says neither.
bool bulkFileDays(std::string_view key, std::int32_t& first, std::int32_t& last, bool& month);

// The presigned URL of /bulk/get's `{"url":...}`: http or https only.
bool parseBulkUrl(std::string_view body, std::string& url, std::string* why = nullptr);

}  // namespace quarlink::jquants
