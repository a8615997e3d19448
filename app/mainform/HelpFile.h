// Where "Справка" finds ReadMe.txt: in the current folder first (saving
// into another folder moves it, and the help is looked for there), then
// beside the program, then in the installed documentation.
#pragma once

#include <QString>
#include <QStringList>

inline const QString helpFileName = QStringLiteral("ReadMe.txt");

// The folders looked in, in order.
QStringList helpFolders();
// The first ReadMe.txt among the folders; empty when there is none.
QString findHelpFile(const QStringList &folders);
