#include <gtest/gtest.h>

#include <cstdlib>

#include "core/web/endpoints.h"
#include "core/web/jquants/jquants_key.h"
#include "support/temp_dir.h"

namespace quarlink::jquants {
namespace {

namespace fs = std::filesystem;
constexpr const char* kKey = "fake-key-store-5a1e";

TEST(JQuantsKeyStore, SavesTrimmedPrivateKeysAndRefusesOthersUntouched) {
    const struct {
        const char* name;
        std::string typed;
        bool ok, old;  // old: a world-readable jquants.key is there
    } cases[] = {
        {"blanks around", std::string("  ") + kKey + "\r\n", true, false},
        {"over a readable file", kKey, true, true},
        {"empty", "   ", false, true},
        {"blank inside", "fake key", false, true},
        {"control byte", std::string(kKey) + "\x1b[2J", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        if (c.old) test::writeFile(dir / kKeyFileName, "old-key-value\n");
        if (c.old) fs::permissions(dir / kKeyFileName, fs::perms(0644));
        std::string error;
        EXPECT_EQ(saveApiKey(dir.path(), c.typed, error), c.ok);
        EXPECT_EQ(error.empty(), c.ok);
        EXPECT_EQ(error.find(kKey), std::string::npos);
        EXPECT_EQ(test::readFile(dir / kKeyFileName), c.ok ? std::string(kKey) + "\n" : "old-key-value\n");
        EXPECT_TRUE(!c.ok || fs::status(dir / kKeyFileName).permissions() == (fs::perms::owner_read | fs::perms::owner_write));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
}

TEST(JQuantsKeyStore, EnvironmentThenKeyFileThenJpxCredentials) {
    const struct {
        const char* name;
        const char* environment;
        bool keyFile;
        const char* jpx;  // credentials.json's text, nullptr: no file
        KeySource source;
        const char* errorHas;
    } cases[] = {
        {"environment first", "env-key-000000", true, R"({"api_key":"jpx-key-00000"})", KeySource::Environment, ""},
        {"then jquants.key", nullptr, true, R"({"api_key":"jpx-key-00000"})", KeySource::KeyFile, ""},
        {"then JPX's file", nullptr, false, R"({"other":1,"api_key":" fake-key-store-5a1e "})", KeySource::JpxCli, ""},
        {"JPX's file without the field", nullptr, false, R"({"apikey":"x"})", KeySource::None, "api_key"},
        {"JPX's file not JSON", nullptr, false, "api_key=x", KeySource::None, "api_key"},
        {"nowhere", nullptr, false, nullptr, KeySource::None, "JQUANTS_API_KEY"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        std::string error;
        ASSERT_TRUE(!c.keyFile || saveApiKey(dir.path(), kKey, error));
        const fs::path jpx = dir / "config" / "jquants" / "credentials.json";
        if (c.jpx) {
            fs::create_directories(jpx.parent_path());
            test::writeFile(jpx, c.jpx);
        }
        const ApiKey key = loadApiKey(dir.path(), c.environment, jpx);
        EXPECT_EQ(key.source, c.source);
        EXPECT_EQ(key.key, c.source == KeySource::Environment ? c.environment : c.source == KeySource::None ? "" : kKey);
        EXPECT_TRUE(c.source != KeySource::JpxCli || key.where.find(jpx.string()) != std::string::npos);
        EXPECT_NE(key.error.find(c.errorHas), std::string::npos) << key.error;
    }
}

TEST(JQuantsKeyStore, DeletingFallsBackAndTheHintShowsFourCharactersAtMost) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(saveApiKey(dir.path(), kKey, error) && deleteApiKey(dir.path(), error));
    EXPECT_TRUE(deleteApiKey(dir.path(), error)) << "a missing file is no failure";
    EXPECT_FALSE(loadApiKey(dir.path(), nullptr).ok());
    EXPECT_TRUE(keyHint(kKey).ends_with("5a1e）") && keyHint(kKey).find("e-5a1e") == std::string::npos &&
                keyHint("short").find("short") == std::string::npos);
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(jpxCredentialsFile(), dir / "jquants" / "credentials.json");
    unsetenv("XDG_CONFIG_HOME");
}

TEST(JQuantsPlanFile, EndpointsConfWinsThenTheChoiceThenTheDetectedPlan) {
    const struct {
        const char* name;
        const char* endpointsConf;
        const char* chosen;
        const char* detected;
        const char* plan;
    } cases[] = {
        {"nothing set", "", "", "", "free"},
        {"detected only", "", "", "standard", "standard"},
        {"choice over detected", "", "light", "premium", "light"},
        {"endpoints.conf over both", "jquants_plan=premium\n", "light", "standard", "premium"},
        {"bad name in endpoints.conf", "jquants_plan=gold\n", "", "light", "light"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::writeFile(dir / "endpoints.conf", c.endpointsConf);
        std::string error;
        ASSERT_TRUE(saveJQuantsPlan(dir.path(), {jquantsPlanFromName(c.chosen), jquantsPlanFromName(c.detected)}, error))
            << error;
        EXPECT_STREQ(planFacts(loadEndpoints(dir / "endpoints.conf").jquantsPlan).name, c.plan);
    }
}

}  // namespace
}  // namespace quarlink::jquants
