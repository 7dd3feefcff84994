#pragma once
#include <memory>

#include <QObject>
#include <QWidget>

#include "core/schedule/update_schedule.h"
#include "gui/shell/tray_commands.h"

class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;

namespace quarlink {

// Stands in for the tray icon where the desktop has none: a small window
// that stays until "終了(&X)", offering the same menu.
class FallbackWindow : public QWidget {
    Q_OBJECT
public:
    FallbackWindow(QMenu* menu, QWidget* parent = nullptr);

    // The scheduled update's line: its progress, then how it ended; the
    // buttons beside it stop the run and open the outcome.
    QLabel* activityLine() const { return activity_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* outcomeButton() const { return outcome_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QMenu* menu_;
    QLabel* activity_;
    QPushButton* stop_;
    QPushButton* outcome_;
};

// Builds the popup menu from the menu table; each entry runs its command
// through `commands`, after the menu has closed, then `afterCommand`. The
// entries shown only at times are shown as the menu opens.
void populateTrayMenu(QMenu& menu, TrayCommands& commands, std::function<QWidget*()> dialogParent,
                      std::function<void(TrayCommand)> afterCommand = {});

// The tray icon (or the fallback window) with the popup menu.
class TrayWindow : public QObject {
    Q_OBJECT
public:
    TrayWindow(TrayCommands& commands, QObject* parent = nullptr);
    ~TrayWindow() override;

    // Shows the tray icon when the desktop has a tray, else the fallback window.
    void show(bool trayAvailable);

    QMenu* menu() const { return menu_.get(); }
    FallbackWindow* fallbackWindow() const { return fallback_.get(); }

    // The scheduled update's progress in the tooltip (or the fallback
    // window's line); empty when none runs.
    void setActivity(const QString& text);
    // The tray icon's message, or where there is no tray the desktop's
    // notification service and the fallback window's line. A click calls
    // `onNoticeClicked`, when unset the menu's outcome entry; once the
    // outcome is opened, the line goes.
    void notify(const ScheduleNotice& notice);
    std::function<void()> onNoticeClicked;

private slots:
    void desktopNotificationAction(uint id, const QString& action);

private:
    void openOutcome();
    // The fallback window's stop button while a run can be stopped; its line
    // and outcome button go once an attempt to open the outcome has shown it.
    void showScheduleButtons(bool outcomeTried);

    TrayCommands& commands_;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<FallbackWindow> fallback_;
    uint desktopNotification_ = 0;
};

}  // namespace quarlink
