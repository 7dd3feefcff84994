#include "shell/desktop_services.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace quarlink {
namespace {

QString toQString(const std::filesystem::path& path) { return QFile::decodeName(path.native().c_str()); }

}  // namespace

bool openFolderInFileManager(const std::filesystem::path& folder) {
    std::error_code ec;
    // xdg-open is started detached and reports nothing back, so a missing
    // folder has to be caught here.
    if (!std::filesystem::is_directory(folder, ec)) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(toQString(folder)));
}

void launchChartProgram(const std::filesystem::path& executable) {
    const QString program = toQString(executable);
    const QString folder = toQString(executable.parent_path());
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    if (!wine.isEmpty())
        QProcess::startDetached(wine, {program}, folder);
    else
        QProcess::startDetached(program, {}, folder);
}

QIcon appIcon() {
    return QIcon(QStringLiteral(":/quarlink/quarlink.png"));
}

}  // namespace quarlink
