// "Справка": where it finds ReadMe.txt, in the current folder first (saving
// into another folder moves it, and the help is looked for there), then
// beside the program, then in the installed documentation; and the
// program's own window for it, for a desktop that has no program to open a
// text file with: the text, read-only, and "Закрыть".
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <optional>

class QPlainTextEdit;

inline const QString helpFileName = QStringLiteral("ReadMe.txt");

// The folders looked in, in order.
QStringList helpFolders();
// The first ReadMe.txt among the folders; empty when there is none.
QString findHelpFile(const QStringList &folders);

class HelpViewer final : public QDialog {
    Q_OBJECT
public:
    // The help is small; a larger file at its name is shown up to here.
    static constexpr qint64 largestShown = 4 * 1024 * 1024;

    explicit HelpViewer(QWidget *parent = nullptr);

    // Shows the file (UTF-8); the system's reason when it cannot be read.
    std::optional<QString> showFile(const QString &path);

private:
    QPlainTextEdit *text_ = nullptr;
};
