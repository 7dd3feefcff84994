// The margin history table from arbitrary bytes.
#include "page_fuzz_support.h"

using namespace quarlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader r(data, size);
    std::vector<std::int32_t> dates, buys, sells;
    const int result = r.reader.ReadMarginHistory(1301, 6, dates, buys, sells);
    fuzz::checkResult(result);
    if (dates.size() != buys.size() || dates.size() != sells.size()) std::abort();
    if (result != 1 && !dates.empty()) std::abort();
    if (result == 1 && dates.empty()) std::abort();
    return 0;
}
