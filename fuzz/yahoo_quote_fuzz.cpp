// The Yahoo quote page (and, in mode 1, the margin table) from arbitrary bytes.
#include "page_fuzz_support.h"

using namespace quarlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader r(data, size);
    for (int mode : {0, 1, 2}) {
        std::int32_t v[8] = {};
        fuzz::checkResult(r.reader.ReadYahooQuote(1301, mode, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]));
    }
    return 0;
}
