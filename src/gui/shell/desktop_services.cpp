#include "gui/shell/desktop_services.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace quarlink {
namespace {

QString toQString(const std::filesystem::path& path) { return QFile::decodeName(path.native().c_str()); }

}  // namespace

bool openFolderInFileManager(const std::filesystem::path& folder, std::function<void()> lateFailure) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return false;
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty()) return QDesktopServices::openUrl(QUrl::fromLocalFile(toQString(folder)));
    // Not QDesktopServices: it starts xdg-open detached and so never learns
    // that no file manager exists. Without a parent the process is not killed
    // if quarlink ends while a file manager started by it still runs.
    auto* process = new QProcess;
    QObject::connect(process, &QProcess::finished, process,
                     [process, lateFailure](int exitCode, QProcess::ExitStatus status) {
                         if ((status != QProcess::NormalExit || exitCode != 0) && lateFailure) lateFailure();
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) process->deleteLater();
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(xdgOpen, {toQString(folder)});
    return process->waitForStarted(5000);
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

bool openWebPage(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }

QIcon appIcon() {
    return QIcon(QStringLiteral(":/quarlink/quarlink.png"));
}

}  // namespace quarlink
