#include "core/schedule/schedule_settings.h"

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"

namespace quarlink {

namespace {

constexpr int kNamedLines = 3;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool parseFlag(std::string_view v, bool& out) {
    if (v == "1" || v == "yes" || v == "true") return out = true, true;
    if (v == "0" || v == "no" || v == "false") return out = false, true;
    return false;
}

bool parseDigits(std::string_view v, std::int64_t& out) {
    if (v.empty()) return false;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
    return ec == std::errc() && end == v.data() + v.size() && out >= 0;
}

// "YYYY-MM-DD HH:MM"; "never" or empty for none.
bool parseStamp(std::string_view v, std::int64_t& out) {
    if (v.empty() || v == "never") return out = 0, true;
    std::int64_t y = 0, mo = 0, d = 0;
    int h = 0, mi = 0;
    if (v.size() != 16 || v[4] != '-' || v[7] != '-' || v[10] != ' ' || !parseDigits(v.substr(0, 4), y) ||
        !parseDigits(v.substr(5, 2), mo) || !parseDigits(v.substr(8, 2), d) || !parseTimeOfDay(v.substr(11), h, mi) ||
        y < 1990 || mo < 1 || mo > 12 || d < 1 || d > 31)
        return false;
    out = ((y * 100 + mo) * 100 + d) * 10000 + h * 100 + mi;
    return true;
}

std::string formatStamp(std::int64_t stamp) {
    if (!stamp) return "never";
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld", static_cast<long long>(stamp / 100000000),
                  static_cast<long long>(stamp / 1000000 % 100), static_cast<long long>(stamp / 10000 % 100),
                  static_cast<long long>(stamp / 100 % 100), static_cast<long long>(stamp % 100));
    return text;
}

}  // namespace

bool parseTimeOfDay(std::string_view text, int& hour, int& minute) {
    std::int64_t h = 0, m = 0;
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() - colon != 3 ||
        !parseDigits(text.substr(0, colon), h) || !parseDigits(text.substr(colon + 1), m) || h > 23 || m > 59)
        return false;
    hour = static_cast<int>(h);
    minute = static_cast<int>(m);
    return true;
}

std::string formatTimeOfDay(int hour, int minute) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", hour, minute);
    return text;
}

std::int64_t minuteStamp(const LocalDateTime& at) {
    return static_cast<std::int64_t>(at.yyyymmdd()) * 10000 + at.hour * 100 + at.minute;
}

bool parseSchedule(std::string_view text, ScheduleSettings& settings, std::string& error, std::vector<int>* refused) {
    // Each setting is set only by a line that reads whole, so a refused line
    // leaves the value before it and costs nothing else.
    ScheduleSettings s;
    int lineNumber = 0, refusedCount = 0;
    error.clear();
    if (refused) refused->clear();
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == '#') continue;
        const auto eq = line.find('=');
        const std::string_view key = trimmed(line.substr(0, eq));
        const std::string_view value = eq == std::string_view::npos ? std::string_view{} : trimmed(line.substr(eq + 1));
        bool ok = eq != std::string_view::npos;
        if (!ok) {
        } else if (key == "enabled") ok = parseFlag(value, s.enabled);
        else if (key == "time") ok = parseTimeOfDay(value, s.hour, s.minute);
        else if (key == "source") {
            const auto source = sourceKindFromName(value);
            ok = source.has_value();
            if (ok) s.source = *source;
        } else if (key == "margin") ok = parseFlag(value, s.margin);
        else if (key == "index_only") ok = parseFlag(value, s.indexOnly);
        else if (key == "nikkei") ok = parseFlag(value, s.nikkei);
        else if (key == "topix") ok = parseFlag(value, s.topix);
        else if (key == "last_run") ok = parseStamp(value, s.lastRun);
        else ok = !key.empty() && key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == key.npos;
        if (ok) continue;
        if (refused) refused->push_back(lineNumber);
        // A file of garbage names a few of its lines, not thousands.
        if (++refusedCount <= kNamedLines)
            error += (refusedCount > 1 ? "、" : "") + std::to_string(lineNumber) + "行目「" + echoText(line) + "」";
    }
    if (refusedCount > kNamedLines) error += "ほか" + std::to_string(refusedCount - kNamedLines) + "行";
    settings = s;
    return refusedCount == 0;
}

std::string formatSchedule(const ScheduleSettings& s) {
    const auto flag = [](bool b) { return b ? "1" : "0"; };
    std::string text = "# Quarlink: the scheduled daily update (quarlink-cli schedule --help)\n";
    text += std::string("enabled=") + flag(s.enabled) + "\n";
    text += "time=" + formatTimeOfDay(s.hour, s.minute) + "\n";
    text += std::string("source=") + sourceKindName(s.source) + "\n";
    text += std::string("margin=") + flag(s.margin) + "\n";
    text += std::string("index_only=") + flag(s.indexOnly) + "\n";
    text += std::string("nikkei=") + flag(s.nikkei) + "\n";
    text += std::string("topix=") + flag(s.topix) + "\n";
    text += "last_run=" + formatStamp(s.lastRun) + "\n";
    return text;
}

LoadedSchedule loadSchedule(const std::filesystem::path& workDir) {
    LoadedSchedule loaded;
    const std::filesystem::path path = workDir / kScheduleFileName;
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return loaded;
    std::string bytes, error;
    // Only a small regular file is read: a FIFO would block, and a settings
    // file of more than a few kilobytes is not ours.
    if (!std::filesystem::is_regular_file(path, ec))
        error = "通常のファイルではありません";
    else if (std::filesystem::file_size(path, ec) > 64 * 1024)
        error = "ファイルが大きすぎます";
    else if (!readWholeFile(path, bytes, &error))
        error = echoText(error, 2 * kEchoLimit);
    else if (!parseSchedule(bytes, loaded.settings, error)) {
        loaded.problem = path.string() + " の" + error + schedule_text::kLinesIgnored;
        return loaded;
    } else {
        return loaded;
    }
    loaded.unreadable = true;
    loaded.problem = path.string() + "（" + error + "）" + schedule_text::kUnreadable;
    return loaded;
}

bool saveSchedule(const std::filesystem::path& workDir, const ScheduleSettings& settings, std::string& error) {
    return replaceFileAtomically(workDir / kScheduleFileName, formatSchedule(settings), &error);
}

}  // namespace quarlink
