#include "core/sources/master_index.h"

#include <algorithm>

#include "core/store/text_encoding.h"

namespace quarlink {

std::string_view marketOfMkt(std::string_view mkt) {
    if (mkt == "0111" || mkt == "0101") return "T1";
    if (mkt == "0112" || mkt == "0102") return "T2";
    if (mkt == "0113" || mkt == "0104") return "M";
    if (mkt == "0106" || mkt == "0107") return "J";
    return {};
}

MasterIndex indexFromMaster(const jquants::ListedMaster& master, const IndexTable& local, bool topixFile) {
    MasterIndex out;
    IndexTable& table = out.table;
    for (int code = 0; code < 1000; ++code) {
        table.name[code] = local.name[code];
        table.market[code] = local.market[code];
        table.unit[code] = local.unit[code];
        table.flags[code] = local.flags[code];
    }
    if (topixFile && !local.isRegistered(kTopixCode)) {
        table.name[kTopixCode] = "TOPIX";
        table.unit[kTopixCode] = "1";
    }
    std::vector<std::int32_t> seen(kCodeCount, 0);  // the Date of the row taken per code
    for (const jquants::ListedIssue& issue : master.rows) {
        const int code = issue.stockCode;
        if (code < 1000 || code >= kCodeCount) {
            ++out.skippedCodes;
            continue;
        }
        // A master spanning several days lists a code once per day: the newest wins.
        if (issue.date < seen[code]) continue;
        seen[code] = issue.date;
        table.date = std::max(table.date, issue.date);
        if (issue.name.empty()) {  // nothing to show for it: the local entry stands
            table.name[code] = local.name[code];
            table.market[code] = local.market[code];
            table.unit[code] = local.unit[code];
            table.flags[code] = local.flags[code];
            out.replacedNames.erase(code);
            continue;
        }

        table.name[code] = utf8ToCp932(issue.name);
        if (std::string missing = withoutCp932Form(issue.name); !missing.empty())
            out.replacedNames[code] = std::move(missing);
        else
            out.replacedNames.erase(code);
        const std::string_view market = marketOfMkt(issue.market);
        table.market[code] = !market.empty()           ? std::string(market)
                             : local.isRegistered(code) ? local.market[code]
                                                        : std::string("-");
        table.unit[code] = local.isRegistered(code) ? local.unit[code] : std::string("100");
        table.flags[code] = local.flags[code];
    }
    return out;
}

}  // namespace quarlink
