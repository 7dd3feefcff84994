#include "core/app/startup.h"

#include "core/app/tray_menu.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/options.h"
#include "core/store/stale_files.h"

namespace quarlink {

void prepareRun(Application& app, Prompter& prompter) {
    loadOptions(app, prompter);
    removeStaleTemporaryFiles(app);
}

bool firstStartGuideDue(const Application& app) {
    std::error_code ec;
    return !app.chartFolderConfigured() && !std::filesystem::exists(app.workDir / kFirstStartMark, ec);
}

bool markFirstStartGuideDone(const Application& app) {
    return replaceFileAtomically(app.workDir / kFirstStartMark, "");
}

StartupResult runStartup(Application& app, Prompter& prompter, const ChartLauncher& launch,
                         const std::function<void()>& firstStartGuide) {
    prepareRun(app, prompter);
    // The guide asks for the chart folder itself: the guard below speaks only if it was left empty.
    if (firstStartGuide && firstStartGuideDue(app)) firstStartGuide();
    if (!app.chartFolderConfigured()) {
        prompter.message(tray_text::kNoChartFolder);
        return StartupResult::ChartFolderNotSet;
    }
    const auto executable = layout::chartExecutable(app);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(executable, ec)) {
        prompter.message(tray_text::kChartProgramMissing);
        return StartupResult::ChartProgramMissing;
    }
    if (app.launchChart != 1) return StartupResult::ChartProgramNotLaunched;
    if (launch) launch(executable);
    return StartupResult::ChartProgramLaunched;
}

}  // namespace quarlink
