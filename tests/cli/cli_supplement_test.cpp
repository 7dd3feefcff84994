#include <gtest/gtest.h>

#include "core/store/price_series.h"
#include "support/run_process.h"
#include "support/scratch_chart.h"

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
    ScratchChart dir;
    dir.writeFile(layout::dataFile(dir.app, 7203), prices({20061201}));
    dir.writeFile(dir.root / "here" / "src" / "7203", prices({20061204}));
    dir.writeFile(dir.app.workDir / "src" / "7203", prices({20061130}));
    dir.writeOptions();

    const std::string script = "cd \"$1\" && exec \"$2\" --workdir \"$3\" supplement --folder src";
    const auto r = runProcess("/bin/sh", {"-c", script, "sh", (dir.root / "here").string(), QUARLINK_CLI_PATH,
                                          dir.app.workDir.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(dir.readFile(layout::dataFile(dir.app, 7203)), prices({20061201, 20061204}));
}
