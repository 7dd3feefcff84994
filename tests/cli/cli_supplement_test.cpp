#include <gtest/gtest.h>

#include "core/store/price_series.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

std::string prices(std::initializer_list<std::int32_t> dates) {
    PriceSeries s;
    for (auto d : dates) s.append(PriceRecord{d, 1, 1, 1, 1, 1, 0, 0});
    return serializePriceSeries(s);
}

}  // namespace

// The GUI takes a typed relative folder from the working folder; the command
// line keeps the shell's meaning of a relative argument.
TEST(CliSupplement, RelativeFolderIsTakenFromWhereTheCommandRuns) {
    TempDir dir;
    std::filesystem::create_directories(dir / "chart" / "data");
    std::filesystem::create_directories(dir / "here" / "src");
    std::filesystem::create_directories(dir / "work" / "src");
    writeFile(dir / "chart" / "data" / "7203", prices({20061201}));
    writeFile(dir / "here" / "src" / "7203", prices({20061204}));
    writeFile(dir / "work" / "src" / "7203", prices({20061130}));
    writeFile(dir / "work" / "Quarlink.conf", (dir / "chart").string() + ",0\r\n");

    const std::string script = "cd \"$1\" && exec \"$2\" --workdir \"$3\" supplement --folder src";
    const auto r = runProcess("/bin/sh", {"-c", script, "sh", (dir / "here").string(), QUARLINK_CLI_PATH,
                                          (dir / "work").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(dir / "chart" / "data" / "7203"), prices({20061201, 20061204}));
}
