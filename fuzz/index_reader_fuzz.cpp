// Reads arbitrary bytes as index.txt, writes the table back and reads it again:
// the written form must read back to the same table.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/store/index_flags.h"
#include "core/store/index_table.h"

using namespace quarlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IndexTable table;
    readIndexTable(text, table);
    std::vector<int> codes;
    readCodeList(text, codes);
    const std::string written = writeIndexTable(table, table.date);
    IndexTable again;
    readIndexTable(written, again);
    for (int code = 0; code < kCodeCount; ++code) {
        if (table.isRegistered(code) != again.isRegistered(code)) std::abort();
        if (table.isRegistered(code) && table.flags[code] != again.flags[code]) std::abort();
        PriceSeries series;
        series.append(PriceRecord{20000101, 1000, 1000, 1000, 1000, 0, 0, 0});
        if (!table.flags[code].empty()) adjustForSplits(table, code, series);
    }
    return 0;
}
