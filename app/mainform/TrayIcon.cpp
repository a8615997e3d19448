#include "mainform/TrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

void addTrayIcon(const QIcon &icon, QMenu *menu, QWidget *window)
{
    auto *tray = new QSystemTrayIcon(icon, window);
    tray->setToolTip(QStringLiteral("PONDUS"));
    tray->setContextMenu(menu);
    QObject::connect(tray, &QSystemTrayIcon::activated, tray, [window](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::DoubleClick)
            return;
        window->setEnabled(true);
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray->show();
}
