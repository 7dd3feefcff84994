#pragma once
#include <string>
#include <string_view>

#include "core/store/application.h"
#include "core/env/prompter.h"

namespace quarlink {

namespace options_text {
inline constexpr const char* kFirstStart = "初回起動：オプションファイルを作成します。";
inline constexpr const char* kCreateFailed =
    "ファイルオープンエラー：Quarlink.conf\r\nオプションファイルが作成できませんでした。";
inline constexpr const char* kSaveFailed =
    "ファイルオープンエラー：Quarlink.conf\r\nオプションファイルが作成できませんでした。オプションは保存されません。";
}  // namespace options_text

// Sets chartFolder and launchChart from the options file's bytes: the first
// line (at most 255 bytes), path before the first comma, flag from the
// leading digits after it.
void parseOptions(std::string_view bytes, Application& app);

// The file image: "%s,%d\r\n" (the first start writes "%s,%d").
std::string formatOptions(const Application& app, bool withLineEnd);

enum class LoadOptionsResult { Loaded, FirstStart, FirstStartNotSaved };

// Reads Quarlink.conf from the working folder; at first start tells the user
// and creates it with the current settings.
LoadOptionsResult loadOptions(Application& app, Prompter& prompter);

// The options dialog's save: takes the edited path (trimmed, "\" turned into
// "/") and flag into `app`, writes the file atomically. The settings stay in
// effect even when the file cannot be written (the user is told).
bool saveOptions(Application& app, std::string_view path, bool launchChart, Prompter& prompter);

}  // namespace quarlink
