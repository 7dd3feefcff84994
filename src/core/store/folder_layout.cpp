#include "core/store/folder_layout.h"

#include <cstdio>
#include <cstdlib>

#include "core/store/atomic_file.h"
#include "core/store/number_text.h"

namespace quarlink::layout {

std::string codeName(int code) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", code);
    return text;
}

int codeOfName(std::string_view name) {
    return name.size() == 4 ? parseCode(name).value_or(-1) : -1;
}

std::optional<int> parseCode(std::string_view text) {
    if (const std::optional<long> code = wholeNumber(text, 4)) return static_cast<int>(*code);
    return std::nullopt;
}

std::filesystem::path chartFolder(const Application& app) { return std::filesystem::path(app.chartFolder); }
std::filesystem::path dataFolder(const Application& app) { return chartFolder(app) / "data"; }
std::filesystem::path dataFile(const Application& app, int code) { return dataFolder(app) / codeName(code); }
std::filesystem::path indexFile(const Application& app) { return chartFolder(app) / "index.txt"; }
std::filesystem::path extensionFolder(const Application& app) { return chartFolder(app) / "extension"; }
std::filesystem::path chartExecutable(const Application& app) { return chartFolder(app) / "sorvantide.exe"; }

std::filesystem::path optionsFile(const Application& app) { return app.workDir / "Quarlink.conf"; }
std::filesystem::path endpointsFile(const Application& app) { return app.workDir / "endpoints.conf"; }
std::filesystem::path initFolder(const Application& app) { return app.workDir / "init"; }
std::filesystem::path initFile(const Application& app, int code) { return initFolder(app) / codeName(code); }
std::filesystem::path backupFolder(const Application& app) { return app.workDir / "backup"; }
std::filesystem::path backupFile(const Application& app, int code) { return backupFolder(app) / codeName(code); }
std::filesystem::path sepFolder(const Application& app) { return app.workDir / "sep"; }
std::filesystem::path sepYearFolder(const Application& app, int year) { return sepFolder(app) / codeName(year); }
std::filesystem::path sepFile(const Application& app, int year, int code) {
    return sepYearFolder(app, year) / codeName(code);
}
std::filesystem::path userFolder(const Application& app) { return app.workDir / "user"; }
std::filesystem::path portfolioListFile(const Application& app) { return userFolder(app) / "plist.csv"; }
std::filesystem::path buyFile(const Application& app, std::string_view prefix) {
    return app.workDir / (std::string(prefix) + "_buy.csv");
}
std::filesystem::path sellFile(const Application& app, std::string_view prefix) {
    return app.workDir / (std::string(prefix) + "_sell.csv");
}
std::filesystem::path htmlFolder(const Application& app) { return app.workDir / "html"; }
std::filesystem::path reportFile(const Application& app, std::string_view number, std::string_view name,
                                 std::string_view manager) {
    return htmlFolder(app) /
           ("p" + std::string(number) + "_" + std::string(name) + "(" + std::string(manager) + ").html");
}
std::filesystem::path indexDownloadFile(const Application& app) { return app.workDir / "index"; }

}  // namespace quarlink::layout

namespace quarlink {

std::filesystem::path defaultWorkDir() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return std::filesystem::path(xdg) / "quarlink";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local" / "share" / "quarlink";
}

bool ensureFolder(const std::filesystem::path& folder, std::string* error) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return true;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        if (error)
            *error = ec ? fileErrorText("mkdir", folder, ec.value())
                        : fileReasonText("mkdir", folder, file_text::kNotAFolder);
        return false;
    }
    return true;
}

std::string missingFolderMessage(const std::filesystem::path& folder, std::string_view what) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return {};
    return std::string(what) + folder.string();
}

}  // namespace quarlink
