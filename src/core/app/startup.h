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

// The first-start guide is due while no chart folder is set and the guide
// has never been finished or cancelled (its mark in the working folder).
inline constexpr const char* kFirstStartMark = "first-start.done";
bool firstStartGuideDue(const Application& app);
bool markFirstStartGuideDone(const Application& app);

// The start-up steps after the single-instance lock and the tray icon: load
// the options (first start included), show the first-start guide when it is
// due, check the chart folder and its program, and start it when asked to.
StartupResult runStartup(Application& app, Prompter& prompter, const ChartLauncher& launch,
                         const std::function<void()>& firstStartGuide = {});

}  // namespace quarlink
