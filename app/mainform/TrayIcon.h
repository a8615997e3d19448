// The program's icon in the notification area: tooltip "PONDUS", a menu
// with "Закрыть", and a double click that brings the main window back.
#pragma once

class QIcon;
class QMenu;
class QWidget;

// Parented to window; shown only where the desktop has a notification area.
void addTrayIcon(const QIcon &icon, QMenu *menu, QWidget *window);
