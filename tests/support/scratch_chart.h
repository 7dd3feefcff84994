#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/application.h"
#include "core/store/folder_layout.h"
#include "core/store/price_series.h"
#include "support/temp_dir.h"

namespace quarlink::test {

// A working folder (root/work) and a chart folder (root/chart with data/)
// under a fresh temporary root, and the Application that names them; all
// removed with the object.
class ScratchChart {
    TempDir dir_;

public:
    ScratchChart();

    // Writes through the atomic writer, making the folders on the way.
    static void writeFile(const std::filesystem::path& path, std::string_view bytes);
    static void writeSeries(const std::filesystem::path& path, const PriceSeries& series);
    // The bytes of a file that must be readable.
    static std::string readFile(const std::filesystem::path& path);

    std::filesystem::path chart() const { return app.chartFolder; }
    void writeIndex(std::string_view bytes) const;
    void writePrices(int code, const std::vector<PriceRecord>& rows) const;
    // The rows of the code's price file; none when it cannot be read.
    std::vector<PriceRecord> records(int code) const;
    // Quarlink.conf naming the chart folder, as a program started on the working folder reads it.
    void writeOptions() const;

    const std::filesystem::path root = dir_.path();
    Application app;
};

}  // namespace quarlink::test
