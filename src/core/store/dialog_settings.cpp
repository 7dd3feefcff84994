#include "core/store/dialog_settings.h"

#include <algorithm>
#include <map>

#include "core/store/atomic_file.h"

namespace quarlink {
namespace {

// A few dozen lines at most; anything longer is not ours.
constexpr std::size_t kMaxBytes = 16 * 1024;
constexpr std::size_t kMaxWord = 64;

bool isWord(std::string_view text) {
    return !text.empty() && text.size() <= kMaxWord && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_';
    });
}

std::map<std::string, std::string, std::less<>> readSettings(const Application& app) {
    std::map<std::string, std::string, std::less<>> settings;
    std::string bytes;
    if (!readWholeFile(app.workDir / kDialogSettingsFile, bytes) || bytes.size() > kMaxBytes) return settings;
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        if (isWord(key) && isWord(value)) settings.insert_or_assign(std::string(key), std::string(value));
    }
    return settings;
}

}  // namespace

std::string dialogSetting(const Application& app, std::string_view key) {
    const auto settings = readSettings(app);
    const auto found = settings.find(key);
    return found == settings.end() ? std::string() : found->second;
}

bool setDialogSetting(const Application& app, std::string_view key, std::string_view value) {
    if (!isWord(key) || !isWord(value)) return false;
    auto settings = readSettings(app);
    settings.insert_or_assign(std::string(key), std::string(value));
    std::string text;
    for (const auto& [k, v] : settings) text += k + "=" + v + "\n";
    return replaceFileAtomically(app.workDir / kDialogSettingsFile, text);
}

}  // namespace quarlink
