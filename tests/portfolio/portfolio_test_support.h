#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/store/atomic_file.h"
#include "core/env/prompter.h"
#include "core/store/text_encoding.h"
#include "support/fake_prompter.h"
#include "support/scratch_chart.h"

namespace quarlink::test {

// A portfolio book's scratch working and chart folders.
class PortfolioFolder : public ::testing::Test, public ScratchChart {
protected:
    // index.txt with the given code lines (UTF-8, stored as Shift-JIS).
    void writeIndex(const std::string& lines) { ScratchChart::writeIndex("date=20060120\r\n" + utf8ToCp932(lines)); }
    // A price file by the name given, as a user may have typed the code.
    void writePrices(const std::string& fileName, const std::vector<PriceRecord>& records) {
        writeSeries(chart() / "data" / fileName, PriceSeries{records});
    }

    FakePrompter prompter;
};

inline std::string sj(const std::string& utf8) { return utf8ToCp932(utf8); }

}  // namespace quarlink::test
