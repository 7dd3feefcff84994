#pragma once
#include <filesystem>
#include <string>

namespace quarlink::jquants {

inline constexpr const char* kKeyVariable = "JQUANTS_API_KEY";
inline constexpr const char* kKeyFileName = "jquants.key";

struct ApiKey {
    std::string key;    // empty when refused
    std::string error;  // why no key, for the user; never holds key text
    bool ok() const { return !key.empty(); }
};

// The environment's value when set and not blank, else the first line of
// `folder`/jquants.key, which must not be readable by group or others.
ApiKey loadApiKey(const std::filesystem::path& folder, const char* environmentValue);
ApiKey loadApiKey(const std::filesystem::path& folder);  // reads JQUANTS_API_KEY

}  // namespace quarlink::jquants
