#include "app/startup.h"

#include "app/tray_menu.h"
#include "store/folder_layout.h"
#include "store/options.h"
#include "store/stale_files.h"

namespace quarlink {

StartupResult runStartup(Application& app, Prompter& prompter, const ChartLauncher& launch) {
    loadOptions(app, prompter);
    // What a killed writer left, in every folder the program writes to.
    removeStaleTemporaryFiles(app);
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
