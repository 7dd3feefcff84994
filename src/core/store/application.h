#pragma once
#include <filesystem>
#include <string>

namespace quarlink {

// The process-wide settings and job state, passed by reference. Every
// relative path of the folder layout is resolved against workDir.
struct Application {
    std::string chartFolder;  // file-system bytes, "/" separators, no trailing "/"; empty = not configured
    int launchChart = 0;      // 1 = start the chart program at start-up
    int currentCode = 0;
    int processedCount = 0;
    std::string portfolioPrefix;  // "user/" + portfolio number
    std::filesystem::path workDir;

    bool chartFolderConfigured() const { return !chartFolder.empty(); }
};

}  // namespace quarlink
