// The price and margin tables from arbitrary bytes, every window the same page.
#include "page_fuzz_support.h"

using namespace quarlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader r(data, size);
    for (int mode : {0, 1, 2}) {
        std::vector<std::int32_t> s[8];
        fuzz::checkResult(r.reader.ReadPriceHistory(1301, 2007, mode, s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]));
        for (const auto& series : s)
            if (series.size() != s[0].size()) std::abort();
        if (mode == 2)
            for (std::int32_t volume : s[5])
                if (volume) std::abort();
    }
    return 0;
}
