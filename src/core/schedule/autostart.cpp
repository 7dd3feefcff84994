#include "core/schedule/autostart.h"

#include <cstdlib>
#include <string_view>
#include <vector>

#include "core/store/atomic_file.h"

namespace quarlink {

namespace fs = std::filesystem;

namespace {

// An argument of a desktop entry's Exec key: quoted, with the characters the
// desktop entry format reserves inside quotes escaped and '%' doubled (a field code).
std::string execArgument(const std::string& word) {
    std::string out = "\"";
    for (char c : word) {
        if (c == '\\') out += "\\\\\\";  // four in the file: the string's escape, then the quoting's
        else if (c == '"' || c == '`' || c == '$') out += "\\\\";
        else if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

fs::path autostartFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return fs::path(config) / "autostart";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/") / ".config" / "autostart";
}

std::string autostartEntry(const fs::path& workDir, bool defaultWorkDir) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quarlink\n"
           "Comment=Sorvantideのデータを毎日更新します\n"
           "Exec=quarlink" +
           (defaultWorkDir ? std::string() : " --workdir " + execArgument(workDir.string())) +
           "\n"
           "Icon=quarlink\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool autostartEnabled(const fs::path& folder) {
    std::string bytes;
    if (!readWholeFile(folder / kAutostartFileName, bytes)) return false;
    // The desktops' own switches for an entry that stays in place.
    std::string_view text = bytes;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, eq)), value = trimmed(line.substr(eq + 1));
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

bool setAutostart(const fs::path& folder, bool on, const std::string& entry, std::string& error) {
    const fs::path path = folder / kAutostartFileName;
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    // A folder or a link by that name is not ours to replace or remove.
    if (fs::exists(st) && !fs::is_regular_file(st)) {
        error = std::string(on ? autostart_text::kNotWritten : autostart_text::kNotRemoved) + path.string() + "（" +
                autostart_text::kInTheWay + "）";
        return false;
    }
    if (!on) {
        if (fs::remove(path, ec) || !ec) return true;
        error = autostart_text::kNotRemoved + path.string() + "（" + fileErrorReason(ec.value()) + "）";
        return false;
    }
    std::vector<fs::path> made;  // deepest first
    for (fs::path f = folder; !f.empty() && !fs::exists(fs::symlink_status(f, ec)) && f != f.parent_path();
         f = f.parent_path())
        made.push_back(f);
    std::string why;
    bool ok = true;
    for (auto it = made.rbegin(); ok && it != made.rend(); ++it) {
        fs::create_directory(*it, ec);
        if (ec) ok = false, why = it->string() + "（" + fileErrorReason(ec.value()) + "）";
    }
    if (ok && !fs::is_directory(folder, ec)) ok = false, why = folder.string() + "（" + file_text::kNotAFolder + "）";
    if (ok && replaceFileAtomically(path, entry, &why)) return true;
    for (const fs::path& f : made) fs::remove(f, ec);  // only when empty
    error = autostart_text::kNotWritten + why;
    return false;
}

}  // namespace quarlink
