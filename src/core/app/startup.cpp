#include "core/app/startup.h"

#include "core/app/tray_menu.h"
#include "core/store/folder_layout.h"
#include "core/store/options.h"
#include "core/store/stale_files.h"

namespace quarlink {

void prepareRun(Application& app, Prompter& prompter) {
    loadOptions(app, prompter);
    removeStaleTemporaryFiles(app);
}

StartupResult runStartup(Application& app, Prompter& prompter, const ChartLauncher& launch) {
    prepareRun(app, prompter);
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
