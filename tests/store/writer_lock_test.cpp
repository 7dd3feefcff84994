#include <gtest/gtest.h>
#include <unistd.h>

#include "core/store/writer_lock.h"
#include "support/temp_dir.h"

using namespace quarlink;
namespace fs = std::filesystem;

// Two working folders: one writer per chart folder, whatever path names it.
TEST(WriterLock, OneWriterPerChartFolderFromAnyWorkingFolder) {
    test::TempDir dir;
    std::string error;
    for (const char* sub : {"a", "b", "chart", "other"}) fs::create_directories(dir / sub);
    fs::create_directory_symlink(dir / "chart", dir / "link");
    const struct {
        const char *name, *firstChart, *secondChart;
        bool refused;
    } cases[] = {{"one chart folder", "chart", "chart", true}, {"a symlink to it", "chart", "link", true},
                 {"another chart folder", "chart", "other", false}, {"no chart folder set", "", "", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto chart = [&](const char* name) { return *name ? dir / name : fs::path(); };
        WriterLock first(dir / "a", "quarlink", chart(c.firstChart)), second(dir / "b", "cli", chart(c.secondChart));
        ASSERT_TRUE(first.tryAcquire());
        EXPECT_EQ(second.tryAcquire(), !c.refused);
        if (c.refused) {
            EXPECT_NE(second.busyMessage().find("quarlink (pid " + std::to_string(getpid()) + ")"), std::string::npos);
            EXPECT_NE(second.busyMessage().find((dir / "a").string()), std::string::npos) << second.busyMessage();
            EXPECT_TRUE(WriterLock(dir / "b", "probe").tryAcquire()) << "a refused writer holds nothing";
            EXPECT_TRUE(fs::exists(WriterLock::runtimeFolder(error) / WriterLock::chartLockName(dir / "chart")));
        }
        first.release();
        EXPECT_TRUE(second.tryAcquire()) << "released together";
    }
}
