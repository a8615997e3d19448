// The program's icon in the notification area: tooltip "PONDUS", a menu
// with "Закрыть", and a double click that brings the main window back.
#pragma once

#include <QSystemTrayIcon>

class QMenu;
class QWidget;

class TrayIcon final : public QSystemTrayIcon {
    Q_OBJECT
public:
    // Parented to window; shown only where the desktop has a notification area.
    TrayIcon(const QIcon &icon, QMenu *menu, QWidget *window);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QWidget *window_;
};
