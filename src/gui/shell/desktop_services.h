#pragma once
#include <filesystem>
#include <functional>

#include <QIcon>

namespace quarlink {

// The desktop facilities the shell uses: the file manager, starting the chart
// program, the program icon.

// False when the folder is missing or no opener can be started. The desktop's
// opener reports a missing file manager only after a moment: then
// `lateFailure` is called on the UI thread.
bool openFolderInFileManager(const std::filesystem::path& folder, std::function<void()> lateFailure);

// The chart program is a Windows program: through wine when installed, else
// the file itself. Started detached in its own folder; the result is not checked.
void launchChartProgram(const std::filesystem::path& executable);

// Opens a web page in the desktop's browser; false when none takes it.
bool openWebPage(const QString& url);

QIcon appIcon();

}  // namespace quarlink
