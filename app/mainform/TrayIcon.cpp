#include "mainform/TrayIcon.h"

#include <QMenu>
#include <QWidget>

TrayIcon::TrayIcon(const QIcon &icon, QMenu *menu, QWidget *window)
    : QSystemTrayIcon(icon, window), window_(window)
{
    setToolTip(QStringLiteral("PONDUS"));
    setContextMenu(menu);
    connect(this, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        show();
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    window_->setEnabled(true);
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}
