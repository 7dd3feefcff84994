// A real full disk: a small tmpfs filled to the brim (needs the right to
// mount; skipped elsewhere, where the shim's ENOSPC tests still run).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "robustness/fault_harness.h"
#include "core/store/price_series.h"
#include "support/temp_dir.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

class SmallFilesystem {
public:
    explicit SmallFilesystem(const std::filesystem::path& at) : at_(at) {
        std::filesystem::create_directories(at_);
        const std::string cmd = "mount -t tmpfs -o size=512k tmpfs '" + at_.string() + "' 2>/dev/null";
        mounted_ = ::geteuid() == 0 && std::system(cmd.c_str()) == 0;
    }
    ~SmallFilesystem() {
        if (mounted_) std::system(("umount '" + at_.string() + "'").c_str());
    }
    bool mounted() const { return mounted_; }

    // Writes a filler file until the file system refuses more.
    void fill() const {
        const int fd = ::open((at_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char block[4096] = {};
        while (::write(fd, block, sizeof block) > 0) {
        }
        ::close(fd);
    }

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};

std::string prices(int rows) {
    PriceSeries s;
    for (int i = 0; i < rows; ++i) s.append({20060101 + i, 1000, 1010, 990, 1005, 100, 5, 7});
    return serializePriceSeries(s);
}

}  // namespace

TEST(RealFullDisk, EditorSaveAndOptionsSaveKeepOldFilesAndReport) {
    TempDir dir;
    SmallFilesystem fs(dir / "disk");
    if (!fs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    const auto root = dir / "disk";
    const std::string index = "date=20061205\r\n7203,\x83\x67\x83\x88\x83\x5e,T1,100\r\n";
    const std::string data = prices(2000);
    writeFile(root / "work" / "Quarlink.conf", (root / "chart").string() + ",0\r\n");
    writeFile(root / "chart" / "index.txt", index);
    writeFile(root / "chart" / "data" / "7203", data);
    fs.fill();

    const auto editor = runProcess(QUARLINK_FAULT_DRIVER_PATH, {"editor-save", (root / "work").string(), "7203"});
    EXPECT_EQ(editor.exitCode, 1);
    EXPECT_FALSE(editor.err.empty());
    EXPECT_EQ(readFile(root / "chart" / "index.txt"), index);
    EXPECT_EQ(readFile(root / "chart" / "data" / "7203"), data);

    const auto options = runProcess(QUARLINK_CLI_PATH, {"--workdir", (root / "work").string(), "options",
                                                        "--chart-folder", "/elsewhere/" + std::string(200, 'x')});
    EXPECT_EQ(options.exitCode, 1);
    EXPECT_NE(options.err.find("オプションは保存されません。"), std::string::npos);
    EXPECT_EQ(readFile(root / "work" / "Quarlink.conf"), (root / "chart").string() + ",0\r\n");
    EXPECT_TRUE(leftoverTemporaries(root).empty());
}
