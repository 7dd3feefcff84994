#include "support/scratch_chart.h"

#include <gtest/gtest.h>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/price_file.h"

namespace quarlink::test {

ScratchChart::ScratchChart() {
    app.workDir = root / "work";
    app.chartFolder = (root / "chart").string();
    std::filesystem::create_directories(app.workDir);
    std::filesystem::create_directories(layout::dataFolder(app));
}

void ScratchChart::writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    ASSERT_TRUE(replaceFileAtomically(path, bytes)) << path;
}

void ScratchChart::writeSeries(const std::filesystem::path& path, const PriceSeries& series) {
    writeFile(path, serializePriceSeries(series));
}

std::string ScratchChart::readFile(const std::filesystem::path& path) {
    std::string bytes;
    EXPECT_TRUE(readWholeFile(path, bytes)) << path;
    return bytes;
}

void ScratchChart::writeIndex(std::string_view bytes) const { writeFile(layout::indexFile(app), bytes); }

void ScratchChart::writePrices(int code, const std::vector<PriceRecord>& rows) const {
    writeSeries(layout::dataFile(app, code), PriceSeries{rows});
}

std::vector<PriceRecord> ScratchChart::records(int code) const {
    PriceSeries series;
    if (!loadPriceFile(layout::dataFile(app, code), series)) return {};
    return series.rows;
}

void ScratchChart::writeOptions() const { writeFile(layout::optionsFile(app), app.chartFolder + ",0\r\n"); }

}  // namespace quarlink::test
