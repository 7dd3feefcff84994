// 「ログイン時に起動」: the XDG autostart entry, written whole or not at all.
#include <gtest/gtest.h>

#include "core/schedule/autostart.h"
#include "support/temp_dir.h"

using namespace quarlink;
using quarlink::test::readFile;
using quarlink::test::TempDir;
using quarlink::test::writeFile;
namespace fs = std::filesystem;

TEST(Autostart, WritesAndRemovesTheEntryAndARefusedWriteLeavesNothing) {
    struct Case {
        const char* name;
        const char* blocker;  // made before, under the scratch folder
        bool isFolder, written;
    };
    const Case cases[] = {
        {"folders made on the way", nullptr, false, true},
        {"a file where the folder goes", "config", false, false},
        {"a folder where the entry goes", "config/autostart/quarlink.desktop", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path folder = dir / "config/autostart", entry = folder / kAutostartFileName;
        if (c.blocker) c.isFolder ? void(fs::create_directories(dir / c.blocker)) : writeFile(dir / c.blocker, "x");
        std::string error;
        EXPECT_EQ(setAutostart(folder, true, autostartEntry(dir / "w", true), error), c.written) << error;
        EXPECT_EQ(autostartEnabled(folder), c.written);
        const auto count = std::distance(fs::recursive_directory_iterator(dir.path()), {});
        if (!c.written) {
            EXPECT_NE(error.find(autostart_text::kNotWritten), std::string::npos) << error;
            EXPECT_EQ(count, c.isFolder ? 3 : 1) << "nothing beside what stood there";
            continue;
        }
        EXPECT_NE(readFile(entry).find("\nExec=quarlink\n"), std::string::npos);
        ASSERT_TRUE(setAutostart(folder, false, "", error)) << error;
        EXPECT_FALSE(fs::exists(entry));
    }
}

TEST(Autostart, AnotherWorkingFolderAndTheDesktopsOwnSwitch) {
    TempDir dir;
    const std::string entry = autostartEntry("/my \"100%\" $data", false);
    EXPECT_NE(entry.find("\nExec=quarlink --workdir \"/my \\\\\"100%%\\\\\" \\\\$data\"\n"), std::string::npos);
    writeFile(dir / kAutostartFileName, entry + "X-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(autostartEnabled(dir.path())) << "switched off in the desktop's settings";
}
