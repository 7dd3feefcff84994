#include "gui/shell/tray_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <vector>
#ifdef QUARLINK_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#endif

#include "gui/shell/desktop_services.h"

namespace quarlink {

FallbackWindow::FallbackWindow(QMenu* menu, QWidget* parent) : QWidget(parent), menu_(menu) {
    setWindowTitle(QStringLiteral("Quarlink"));
    setWindowIcon(appIcon());
    auto* label = new QLabel(QString::fromUtf8(tray_text::kToolTip), this);
    auto* button = new QPushButton(QStringLiteral("メニュー"), this);
    button->setObjectName(QStringLiteral("menuButton"));
    button->setMenu(menu_);
    label->setMinimumWidth(200);
    activity_ = new QLabel(this);
    activity_->setObjectName(QStringLiteral("activity"));
    activity_->setWordWrap(true);
    activity_->setMinimumWidth(260);
    activity_->hide();
    stop_ = new QPushButton(QString::fromUtf8(trayMenuEntry(TrayCommand::StopScheduledUpdate).text), this);
    stop_->setObjectName(QStringLiteral("stopButton"));
    stop_->hide();
    outcome_ = new QPushButton(QStringLiteral("結果を表示"), this);
    outcome_->setObjectName(QStringLiteral("outcomeButton"));
    outcome_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(button);
    layout->addWidget(activity_);
    layout->addWidget(stop_);
    layout->addWidget(outcome_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void FallbackWindow::closeEvent(QCloseEvent* event) {
    // The user's close button neither hides it nor ends the program; the
    // exit entry's quit (not spontaneous) must get through.
    if (event->spontaneous())
        event->ignore();
    else
        event->accept();
}

void FallbackWindow::contextMenuEvent(QContextMenuEvent* event) { menu_->popup(event->globalPos()); }

void populateTrayMenu(QMenu& menu, TrayCommands& commands, std::function<QWidget*()> dialogParent,
                      std::function<void(TrayCommand)> afterCommand) {
    QMenu* current = &menu;
    std::vector<std::pair<QAction*, TrayCommand>> atTimes;
    for (const TrayMenuItem& item : trayMenuItems()) {
        switch (item.kind) {
        case TrayMenuItem::Kind::BeginSubMenu: current = menu.addMenu(QString::fromUtf8(item.text)); break;
        case TrayMenuItem::Kind::EndSubMenu: current = &menu; break;
        case TrayMenuItem::Kind::Separator: current->addSeparator(); break;
        case TrayMenuItem::Kind::Entry: {
            QAction* action = current->addAction(QString::fromUtf8(item.text));
            const TrayCommand command = item.command;
            // Queued, so that the menu has closed before a modal dialog opens.
            QObject::connect(
                action, &QAction::triggered, &menu,
                [&commands, command, dialogParent, afterCommand] {
                    commands.run(command, dialogParent ? dialogParent() : nullptr);
                    if (afterCommand) afterCommand(command);
                },
                Qt::QueuedConnection);
            if (item.onlyWhenOffered) {
                action->setVisible(false);
                atTimes.emplace_back(action, command);
            }
            break;
        }
        }
    }
    QObject::connect(&menu, &QMenu::aboutToShow, &menu, [&commands, atTimes] {
        for (const auto& [action, command] : atTimes) action->setVisible(commands.offered(command));
    });
}

TrayWindow::TrayWindow(TrayCommands& commands, QObject* parent)
    : QObject(parent), commands_(commands), menu_(std::make_unique<QMenu>()) {
    populateTrayMenu(
        *menu_, commands_, [this]() -> QWidget* { return fallback_.get(); },
        [this](TrayCommand command) { showScheduleButtons(command == TrayCommand::ScheduledOutcome); });
}

TrayWindow::~TrayWindow() {
    // The tray icon goes away before the menu it points to.
    delete tray_;
    fallback_.reset();
}

void TrayWindow::show(bool trayAvailable) {
    if (trayAvailable) {
        tray_ = new QSystemTrayIcon(appIcon());
        tray_->setToolTip(QString::fromUtf8(tray_text::kToolTip));
        tray_->setContextMenu(menu_.get());
        connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] { openOutcome(); });
        // Desktops differ in which button opens a tray menu; a left click shows it too.
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
        });
        tray_->show();
        return;
    }
    fallback_ = std::make_unique<FallbackWindow>(menu_.get());
    connect(fallback_->outcomeButton(), &QPushButton::clicked, this, [this] { openOutcome(); });
    connect(fallback_->stopButton(), &QPushButton::clicked, this, [this] {
        commands_.run(TrayCommand::StopScheduledUpdate, fallback_.get());
        showScheduleButtons(false);
    });
    fallback_->show();
}

void TrayWindow::openOutcome() {
    if (onNoticeClicked)
        onNoticeClicked();
    else
        commands_.run(TrayCommand::ScheduledOutcome, fallback_.get());
    showScheduleButtons(true);
}

void TrayWindow::showScheduleButtons(bool outcomeTried) {
    if (!fallback_) return;
    fallback_->stopButton()->setVisible(commands_.offered(TrayCommand::StopScheduledUpdate));
    // An outcome the user has opened needs no line of its own any more.
    if (outcomeTried && !commands_.offered(TrayCommand::ScheduledOutcome)) {
        fallback_->activityLine()->hide();
        fallback_->outcomeButton()->hide();
    }
}

void TrayWindow::setActivity(const QString& text) {
    if (tray_) {
        const QString tip = QString::fromUtf8(tray_text::kToolTip);
        tray_->setToolTip(text.isEmpty() ? tip : tip + QStringLiteral("\n") + text);
    }
    if (fallback_ && !text.isEmpty()) {
        fallback_->activityLine()->setText(text);
        fallback_->activityLine()->show();
        fallback_->outcomeButton()->hide();
    }
    showScheduleButtons(false);
}

void TrayWindow::notify(const ScheduleNotice& notice) {
    const QString title = QString::fromStdString(notice.title);
    const QString body = QString::fromStdString(notice.body);
    if (tray_) {
        tray_->setToolTip(QString::fromUtf8(tray_text::kToolTip));
        tray_->showMessage(title, body,
                           notice.failed ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
        return;
    }
    if (fallback_) {
        fallback_->activityLine()->setText(title + QStringLiteral("\n") + body);
        fallback_->activityLine()->show();
        fallback_->stopButton()->hide();
        fallback_->outcomeButton()->show();
    }
#ifdef QUARLINK_HAVE_DBUS
    // Without a tray the desktop's notification service still reaches the user.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusInterface service(QStringLiteral("org.freedesktop.Notifications"),
                           QStringLiteral("/org/freedesktop/Notifications"),
                           QStringLiteral("org.freedesktop.Notifications"), bus);
    if (!service.isValid()) return;
    if (!desktopNotification_)
        bus.connect(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
                    QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"), this,
                    SLOT(desktopNotificationAction(uint, QString)));
    const QDBusReply<uint> id = service.call(
        QStringLiteral("Notify"), QStringLiteral("Quarlink"), desktopNotification_, QStringLiteral("quarlink"), title,
        body, QStringList{QStringLiteral("default"), QStringLiteral("結果を表示")}, QVariantMap{},
        notice.failed ? 0 : -1);
    if (id.isValid()) desktopNotification_ = id.value();
#endif
}

void TrayWindow::desktopNotificationAction(uint id, const QString&) {
    if (id == desktopNotification_) openOutcome();
}

}  // namespace quarlink
