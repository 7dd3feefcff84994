#pragma once
#include <filesystem>
#include <functional>

#include "core/store/application.h"
#include "core/env/prompter.h"

namespace quarlink {

enum class StartupResult {
    ChartFolderNotSet,     // the guard message was shown
    ChartProgramMissing,   // the missing-program message was shown
    ChartProgramLaunched,
    ChartProgramNotLaunched,  // launchChart is not 1
};

// Starts the chart program; its result is not checked.
using ChartLauncher = std::function<void(const std::filesystem::path& executable)>;

// What every run of either program does first: load the options (creating
// the file at first start) and remove what a killed writer left, in every
// folder the program writes to.
void prepareRun(Application& app, Prompter& prompter);

// The start-up steps after the single-instance lock and the tray icon: load
// the options (first start included), check the chart folder and its
// program, and start it when asked to.
StartupResult runStartup(Application& app, Prompter& prompter, const ChartLauncher& launch);

}  // namespace quarlink
