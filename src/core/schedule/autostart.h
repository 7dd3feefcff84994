#pragma once
#include <filesystem>
#include <string>

namespace quarlink {

// 「ログイン時に起動」: the tray application as an XDG autostart entry, so that
// its schedule runs after a reboot without the user starting it.
inline constexpr const char* kAutostartFileName = "quarlink.desktop";

// $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
std::filesystem::path autostartFolder();

// The entry that starts `quarlink` (with `--workdir` for a working folder
// other than the default one).
std::string autostartEntry(const std::filesystem::path& workDir, bool defaultWorkDir);

// Whether the folder holds an entry of ours that the desktop will start (an
// entry the user switched off in the desktop's settings counts as off).
bool autostartEnabled(const std::filesystem::path& folder);

// Writes the entry (atomically) or removes it. A write that fails leaves
// nothing behind, not even a folder it made; `error` says why, in Japanese.
bool setAutostart(const std::filesystem::path& folder, bool on, const std::string& entry, std::string& error);

namespace autostart_text {
inline constexpr const char* kLabel = "ログイン時に起動";
inline constexpr const char* kToolTip = "ログインしたときにQuarlinkを起動し、毎日の自動更新を続けます。";
inline constexpr const char* kNotWritten = "ログイン時に起動する設定を書き込めませんでした：";
inline constexpr const char* kNotRemoved = "ログイン時に起動する設定を削除できませんでした：";
inline constexpr const char* kInTheWay = "通常のファイルではないものがあります";
}  // namespace autostart_text

}  // namespace quarlink
