#pragma once
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "core/store/index_table.h"
#include "core/web/jquants/jquants_types.h"

namespace quarlink {

// The published code list as J-Quants' listed-issue master gives it, in the
// form of a downloaded index.txt, so that the index update compares and
// applies it as it does the published file.
struct MasterIndex {
    IndexTable table;              // date: the newest Date of the master
    std::size_t skippedCodes = 0;  // letters or another share class
    // Codes whose name had characters without a CP932 form (each became one
    // "?"), with those characters in UTF-8.
    std::map<int, std::string> replacedNames;
};

// The index market code of a master `Mkt`: Prime and the old first section
// T1, Standard and the old second section T2, Growth and Mothers M, JASDAQ J;
// empty for any other market.
std::string_view marketOfMkt(std::string_view mkt);

// Names and markets come from the master; the unit of a code the local
// table has is kept, a new code trades in units of 100; flags (splits, N225)
// always come from the local table. Codes below 1000 (the indices) are not
// listed companies: their local entries are carried over unchanged.
inline constexpr int kTopixCode = 102;

// A TOPIX price file (0102) the local table has no entry for gets one, or the
// chart lists the file nowhere and the data check calls it unregistered.
MasterIndex indexFromMaster(const jquants::ListedMaster& master, const IndexTable& local, bool topixFile = false);

}  // namespace quarlink
