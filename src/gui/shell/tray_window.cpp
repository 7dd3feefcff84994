#include "shell/tray_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "shell/desktop_services.h"

namespace quarlink {

FallbackWindow::FallbackWindow(QMenu* menu, QWidget* parent) : QWidget(parent), menu_(menu) {
    setWindowTitle(QStringLiteral("Quarlink"));
    setWindowIcon(appIcon());
    auto* label = new QLabel(QString::fromUtf8(tray_text::kToolTip), this);
    auto* button = new QPushButton(QStringLiteral("メニュー"), this);
    button->setObjectName(QStringLiteral("menuButton"));
    button->setMenu(menu_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(button);
    setFixedSize(sizeHint().expandedTo(QSize(220, 0)));
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

void populateTrayMenu(QMenu& menu, TrayCommands& commands, std::function<QWidget*()> dialogParent) {
    QMenu* current = &menu;
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
                [&commands, command, dialogParent] { commands.run(command, dialogParent ? dialogParent() : nullptr); },
                Qt::QueuedConnection);
            break;
        }
        }
    }
}

TrayWindow::TrayWindow(TrayCommands& commands, QObject* parent)
    : QObject(parent), commands_(commands), menu_(std::make_unique<QMenu>()) {
    populateTrayMenu(*menu_, commands_, [this]() -> QWidget* { return fallback_.get(); });
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
        // Desktops differ in which button opens a tray menu; a left click shows it too.
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
        });
        tray_->show();
        return;
    }
    fallback_ = std::make_unique<FallbackWindow>(menu_.get());
    fallback_->show();
}

}  // namespace quarlink
