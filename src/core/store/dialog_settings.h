#pragma once
#include <string>
#include <string_view>

#include "core/store/application.h"

namespace quarlink {

// The dialogs' remembered choices (the source each job dialog used last), in
// their own file beside Quarlink.conf, whose one-line format stays as it is.
inline constexpr const char* kDialogSettingsFile = "dialogs.conf";

// The value of `key` ("update.source"), or "" when the file, the line or the
// value cannot be read: a dialog then opens on its defaults.
std::string dialogSetting(const Application& app, std::string_view key);

// Writes `key`=`value` atomically, keeping the file's other readable lines.
// Keys and values are words of letters, digits, ".", "-" and "_" only.
bool setDialogSetting(const Application& app, std::string_view key, std::string_view value);

}  // namespace quarlink
