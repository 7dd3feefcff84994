#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace quarlink::jquants {

inline constexpr const char* kKeyVariable = "JQUANTS_API_KEY";
inline constexpr const char* kKeyFileName = "jquants.key";

// Where a key was found, in the order they are looked at.
enum class KeySource { None, Environment, KeyFile, JpxCli };

struct ApiKey {
    std::string key;    // empty when refused
    std::string error;  // why no key, for the user; never holds key text
    KeySource source = KeySource::None;
    std::string where;  // the source as the user reads it, e.g. 「jquants.key」
    bool ok() const { return !key.empty(); }
};

// JPX's own command-line tool keeps its key in
// $XDG_CONFIG_HOME/jquants/credentials.json (else ~/.config/...); empty
// when neither variable is set.
std::filesystem::path jpxCredentialsFile();

// The environment's value when set and not blank, else the first line of
// `folder`/jquants.key (which must not be readable by group or others), else
// the field "api_key" of `jpxCredentials` (not looked at when empty).
ApiKey loadApiKey(const std::filesystem::path& folder, const char* environmentValue,
                  const std::filesystem::path& jpxCredentials = {});
// Reads JQUANTS_API_KEY and JPX's file.
ApiKey loadApiKey(const std::filesystem::path& folder);

// Writes `key` (blanks around it trimmed) as `folder`/jquants.key, readable by
// the user alone from its first byte on. False with the reason (in Japanese,
// without the key) for a key that is empty or holds blanks or control bytes,
// or a file that cannot be written.
bool saveApiKey(const std::filesystem::path& folder, std::string_view key, std::string& error);
// Removes jquants.key; a missing file is no failure.
bool deleteApiKey(const std::filesystem::path& folder, std::string& error);

// 「設定済み（末尾4文字：abcd）」: all of a key the user is shown once it is saved.
std::string keyHint(std::string_view key);

}  // namespace quarlink::jquants
