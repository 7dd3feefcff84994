// The InfoSeek stock page from arbitrary bytes.
#include "page_fuzz_support.h"

using namespace quarlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader r(data, size);
    for (int mode : {0, 1, 2}) {
        std::int32_t v[8] = {};
        const int result =
            r.reader.ReadInfoSeekQuote(100000018, mode, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        fuzz::checkResult(result);
        if (result == 1 && v[4] == 0) std::abort();  // a read close is never 0
        if (result == 1 && mode != 1 && (v[6] || v[7])) std::abort();
    }
    return 0;
}
