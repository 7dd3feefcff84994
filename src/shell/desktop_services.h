#pragma once
#include <filesystem>

#include <QIcon>

namespace quarlink {

// The desktop facilities the shell uses: the file manager, starting the chart
// program, the program icon.

// False when the folder is missing or no file manager takes it.
bool openFolderInFileManager(const std::filesystem::path& folder);

// The chart program is a Windows program: through wine when installed, else
// the file itself. Started detached in its own folder; the result is not checked.
void launchChartProgram(const std::filesystem::path& executable);

QIcon appIcon();

}  // namespace quarlink
