#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/store/application.h"

namespace quarlink {

// Every path of the folder layout, in one place.
namespace layout {

// In the chart folder.
std::filesystem::path chartFolder(const Application& app);
std::filesystem::path dataFolder(const Application& app);
std::filesystem::path dataFile(const Application& app, int code);
std::filesystem::path indexFile(const Application& app);
std::filesystem::path extensionFolder(const Application& app);
std::filesystem::path chartExecutable(const Application& app);

// In the working folder.
std::filesystem::path optionsFile(const Application& app);
std::filesystem::path endpointsFile(const Application& app);
std::filesystem::path initFolder(const Application& app);
std::filesystem::path initFile(const Application& app, int code);
std::filesystem::path backupFolder(const Application& app);
std::filesystem::path backupFile(const Application& app, int code);
std::filesystem::path sepFolder(const Application& app);
std::filesystem::path sepYearFolder(const Application& app, int year);
std::filesystem::path sepFile(const Application& app, int year, int code);
std::filesystem::path userFolder(const Application& app);
std::filesystem::path portfolioListFile(const Application& app);
// prefix is Application::portfolioPrefix ("user/" + number).
std::filesystem::path buyFile(const Application& app, std::string_view prefix);
std::filesystem::path sellFile(const Application& app, std::string_view prefix);
std::filesystem::path htmlFolder(const Application& app);
std::filesystem::path reportFile(const Application& app, std::string_view number, std::string_view name,
                                 std::string_view manager);
std::filesystem::path indexDownloadFile(const Application& app);  // scratch "index"

// "%04d"
std::string codeName(int code);
// The code of a price file's name "NNNN" (four digits), else -1.
int codeOfName(std::string_view name);
// A code as a user writes it: one to four decimal digits, so 0 to 9999
// ("0101" is 101); nullopt for anything else.
std::optional<int> parseCode(std::string_view text);

}  // namespace layout

// The working folder when none is given: $XDG_DATA_HOME/quarlink, else
// ~/.local/share/quarlink.
std::filesystem::path defaultWorkDir();

// Empty when `folder` is an existing folder, else the message that refuses a
// job over it: `what` followed by the path.
std::string missingFolderMessage(const std::filesystem::path& folder, std::string_view what);
inline constexpr const char* kMissingChartFolder = "Sorvantideフォルダが見つからないかフォルダではありません：";
inline constexpr const char* kMissingSourceFolder = "コピー元フォルダが見つからないかフォルダではありません：";

// Creates the folder (and its parents) when missing.
bool ensureFolder(const std::filesystem::path& folder, std::string* error = nullptr);

}  // namespace quarlink
