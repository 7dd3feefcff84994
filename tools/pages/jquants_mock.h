#pragma once
#include <cstdint>
#include <string>

#include "core/web/jquants/jquants_plan.h"
#include "market.h"

namespace httplib {
class Server;
}

namespace quarlink::pages {

struct JQuantsOptions {
    std::string apiKey;           // the one key accepted; empty refuses every request
    JQuantsPlan plan = JQuantsPlan::Free;  // gating, pace and date window
    int pageSize = 1000;          // rows per page
    int rateWindowMs = 60'000;    // the span the plan's request limit counts over
    std::int64_t now = 0;         // YYYYMMDDHHMM in Japan, held still; 0: the real time in Japan
    int errorsPerMillion = 0;     // the share of /v2 requests a gateway answers with a 5xx, at most half
    int bulkRevision = 0;         // bulk files rewritten this often: later LastModified, more decimals
    int bulkUrlTtlMs = 300'000;   // a download URL's life; 0: expired when issued
    // Month files of damageMonth (YYYYMM) damaged this way: "twice" (the
    // first row again), "foreign" (a row of another month: the month before
    // for bars and TOPIX, the month after for margin), "empty" (the header alone).
    std::string damage;
    std::int32_t damageMonth = 0;
};

// Answers /v2/... on `api` for `market` as J-Quants API v2 does, down to
// its error bodies: data appear at their publication times of `now`, and the
// free plan's window ends 12 weeks before today or, for a market that ended
// before today, before the market's last day. The bulk files' download URLs
// point at `files`, reached at `filesBase` ("http(s)://127.0.0.1:PORT").
void addJQuantsRoutes(httplib::Server& api, httplib::Server& files, const std::string& filesBase, const Market& market,
                      const JQuantsOptions& options);

}  // namespace quarlink::pages
