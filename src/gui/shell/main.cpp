// quarlink: the tray application.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QSystemTrayIcon>
#include <clocale>
#include <iostream>

#include "gui/shell/desktop_services.h"
#include "gui/shell/first_start_wizard.h"
#include "gui/common/qt_prompter.h"
#include "gui/shell/scheduled_update.h"
#include "gui/shell/single_instance_lock.h"
#include "core/app/startup.h"
#include "gui/shell/tray_commands.h"
#include "gui/shell/tray_window.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"

using namespace quarlink;

namespace {

QCommandLineOption workdirOption() {
    return QCommandLineOption(QStringLiteral("workdir"),
                              QStringLiteral("Working folder (Quarlink.conf, init/, backup/, sep/, user/, html/); "
                                             "default $XDG_DATA_HOME/quarlink, else ~/.local/share/quarlink."),
                              QStringLiteral("DIR"));
}

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral("Keeps the chart program's data folder filled and in order."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(workdirOption());
}

// --help and --version print and end without a display.
bool onlyTextRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h" || a == "--help-all" || a == "--version" || a == "-v") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (onlyTextRequested(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("quarlink"));
        QCoreApplication::setApplicationVersion(QStringLiteral(QUARLINK_VERSION));
        QCommandLineParser parser;
        describe(parser);
        parser.process(core);
        return 0;
    }
    QApplication qapp(argc, argv);
    // Number texts are read and written the C way whatever the desktop's locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("quarlink"));
    QApplication::setApplicationVersion(QStringLiteral(QUARLINK_VERSION));
    QApplication::setWindowIcon(appIcon());
    // The program speaks Japanese, so do Qt's own buttons and dialogs.
    installQtJapanese();
    // Dialogs come and go; the program ends only through the exit entry.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    describe(parser);
    parser.process(qapp);

    QtPrompter prompter;
    SingleInstanceLock lock;
    switch (lock.tryAcquire()) {
    case SingleInstanceLock::Result::Acquired: break;
    case SingleInstanceLock::Result::HeldByOther: prompter.message(tray_text::kAlreadyRunning); return 1;
    case SingleInstanceLock::Result::Unavailable:
        // Refusing to start over an unwritable runtime folder would lock the user out.
        std::cerr << "quarlink: cannot create the lock file " << lock.path().toStdString() << '\n';
        break;
    }

    Application app;
    app.workDir = parser.isSet(QStringLiteral("workdir"))
                      ? std::filesystem::path(QFile::encodeName(parser.value(QStringLiteral("workdir"))).toStdString())
                                              : defaultWorkDir();
    std::string error;
    if (!ensureFolder(app.workDir, &error)) {
        prompter.message("作業フォルダを作成できません。\n" + error);
        return 1;
    }
    app.workDir = std::filesystem::absolute(app.workDir);
    // Stale temporary files are removed by the start-up steps, once the lock is held.

    TrayCommands commands(app, prompter);
    TrayWindow tray(commands);
    tray.show(QSystemTrayIcon::isSystemTrayAvailable());
    // The one environment of the tray's runs: the system's clocks, built here only.
    const WebEnvironment environment = systemEnvironment();
    ScheduledUpdate schedule(commands, environment,
                             {[&tray](const QString& text) { tray.setActivity(text); },
                              [&tray](const ScheduleNotice& notice) { tray.notify(notice); }});
    tray.onNoticeClicked = [&schedule, &tray] { schedule.showOutcome(tray.fallbackWindow()); };
    runStartup(app, prompter, launchChartProgram, [&app, &prompter, &commands, &environment] {
        FirstStartWizard guide(app, prompter, nullptr, environment);
        // Through the tray's commands: the chart folder's guard and the writer lock.
        guide.setDialogOpener([&commands](TrayCommand command, QWidget* parent) {
            commands.run(command, parent, [command](Application& a, QWidget* p) { openForJQuants(command, a, p); });
        });
        guide.exec();
    });
    schedule.start();
    return QApplication::exec();
}
