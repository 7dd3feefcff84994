#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "support/temp_dir.h"
#include "core/web/jquants/jquants_key.h"

namespace quarlink::jquants {
namespace {

constexpr const char* kKey = "fake-key-7f3a9c";

TEST(JQuantsKey, EnvironmentFirstThenAPrivateKeyFile) {
    const struct {
        const char* name;
        const char* environment;
        std::optional<std::string> file;   // jquants.key's bytes, when present
        std::filesystem::perms mode;
        bool ok;
        const char* errorHas;
    } cases[] = {
        {"environment", kKey, std::nullopt, {}, true, ""},
        {"environment over a readable file", kKey, "other\n", std::filesystem::perms(0644), true, ""},
        {"file first line", nullptr, std::string(kKey) + "\r\nsecond\n", std::filesystem::perms(0600), true, ""},
        {"blank environment falls back", "  ", std::string(kKey), std::filesystem::perms(0400), true, ""},
        {"group-readable file", nullptr, std::string(kKey), std::filesystem::perms(0640), false, "chmod 600"},
        {"world-readable file", nullptr, std::string(kKey), std::filesystem::perms(0604), false, "chmod 600"},
        {"no key anywhere", nullptr, std::nullopt, {}, false, "JQUANTS_API_KEY"},
        {"empty file", nullptr, "\n", std::filesystem::perms(0600), false, "jquants.key"},
        {"key that would split the header", nullptr, std::string(kKey) + "\rX-Other: 1", std::filesystem::perms(0600),
         false, "使えない文字"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        if (c.file) {
            test::writeFile(dir / "jquants.key", *c.file);
            std::filesystem::permissions(dir / "jquants.key", c.mode);
        }
        const ApiKey key = loadApiKey(dir.path(), c.environment);
        EXPECT_EQ(key.ok(), c.ok) << c.name;
        EXPECT_TRUE(!c.ok || key.key == kKey) << c.name;
        EXPECT_NE(key.error.find(c.errorHas), std::string::npos) << c.name << ": " << key.error;
        EXPECT_EQ(key.error.find(kKey), std::string::npos) << c.name;
        if (!c.ok && c.file) {
            EXPECT_NE(key.error.find((dir / "jquants.key").string()), std::string::npos) << c.name;
        }
    }
}

}  // namespace
}  // namespace quarlink::jquants
